#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, in a clean 32-bit prefix
# of this test's own: signatures (timestamped, the key's password never on a
# command line); what the Registry table alone writes against what the DLL's
# own registration writes; install, upgrade in place, a same-version rebuild
# and removal back to the registry and file tree of before; a foreign ".dzy"
# association kept and given back; a failing install rolled back; a document
# opened in iexplore through the installed DLL; registration from folders
# outside the code page and of 259 characters. Then, in a 64-bit prefix, both
# packages and a hand-registered 64-bit DLL in every order, installed and
# removed by the 32-bit and the 64-bit msiexec.
# Usage: installer_test.sh SOURCE_DIR BUILD_DIR
# GN_CASES (words: signing x86 folders x64; default all) runs only those parts.
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2"
GN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/gninstaller.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-installer" null
. "$GN_HERE/tests/support/checks.sh"
cleanup() {
    gn_close_browser iexplore >/dev/null 2>&1
    gn_docserver_stop
    gn_prefix_stop
    [ -n "${GN_KEEP:-}" ] || rm -rf "$GN_WORK"
}
trap cleanup EXIT

cases="${GN_CASES:-signing x86 folders x64}"
part() { [[ " $cases " == *" $1 "* ]]; }

regfile() { python3 "$GN_HERE/installer/regfile.py" "$@"; }
churn="$GN_HERE/tests/installer/churn.txt"
module='C:\Program Files\GNLauncher\GNLauncher.dll'
classes='HKEY_LOCAL_MACHINE\Software\Classes'
arp='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
ca="$GN_BUILD/package/signing/ca.pem"

# Packages: this build's version, a newer one from the same DLL, and one
# whose last step fails. Always signed with the build tree's throw-away CA.
unset GN_SIGN_CERT GN_SIGN_KEY GN_SIGN_PASS
pkg() { GN_PACKAGE_WORK="$GN_WORK/$1.work" "$GN_HERE/tools/package" --build "$GN_BUILD" --out "$GN_WORK/$1" "${@:2}" >/dev/null; }
help_link=https://support.example/gnlauncher about_link=https://www.example/gnlauncher
pkg v1 --help-link "$help_link" --about-link "$about_link" || { echo "FAIL tools/package"; exit 1; }
v1="$(cd "$GN_WORK/v1" && ls GNLauncher-*.msi | grep -v x64 | sed 's/^GNLauncher-//; s/\.msi$//')"
IFS=. read -r a b c _ <<<"$v1"
v2="$a.$b.$((c + 1)).0"
# The other packages at once: the first run made the signing CA and the rows.
pkg fail --fail-test & fail_pid=$!
pkg v2 --version "$v2" & v2_pid=$!
if part x86; then pkg v1b & v1b_pid=$!; wait $v1b_pid || { echo "FAIL tools/package (rebuild)"; exit 1; }; fi
wait $fail_pid && wait $v2_pid || { echo "FAIL tools/package --fail-test, --version"; exit 1; }
msi1="$GN_WORK/v1/GNLauncher-$v1.msi" msi2="$GN_WORK/v2/GNLauncher-$v2.msi"
msi1b="$GN_WORK/v1b/GNLauncher-$v1.msi"
msifail="$GN_WORK/fail/GNLauncher-$v1.msi"
expected="$GN_WORK/v1.work/rows32/expected.txt"

verified() { osslsigncode verify -CAfile "$ca" -in "$1" 2>&1 | grep -q '^Signature verification: ok'; }
check "the package verifies against the throw-away CA" verified "$msi1"
check "so does the DLL inside it" verified "$GN_WORK/v1.work/x86/GNLauncher.dll"
not_by_system_cas() {
    ! osslsigncode verify -CAfile /etc/ssl/certs/ca-certificates.crt -in "$1" 2>&1 |
        grep -q '^Signature verification: ok'
}
check "and not against the system's CAs" not_by_system_cas "$msi1"
check "a run leaves only the packages in its folder" test "$(ls -A "$GN_WORK/v1" | xargs)" = "GNLauncher-$v1-x64.msi GNLauncher-$v1.msi"


# A clean prefix. "MIME\Database\Content Type" exists on every Windows but not
# in a fresh prefix; made here so that removal has a parent to leave.
rm -rf "$WINEPREFIX"
gn_prefix_start
wine reg add "$classes\\MIME\\Database\\Content Type" /f </dev/null >/dev/null 2>&1
"$GN_HERE/installer/system-keys" wine

# A snapshot: registry exports of HKLM and HKCU and the file tree of C:.
snap() {
    timeout 120 wine regedit /E "$(gn_winpath "$GN_WORK/$1.reg")" HKEY_LOCAL_MACHINE </dev/null
    timeout 120 wine regedit /E "$(gn_winpath "$GN_WORK/$1-user.reg")" HKEY_CURRENT_USER </dev/null
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows/Installer -prune -o -printf '%y %s %P\n' | sort) \
        >"$GN_WORK/$1.files"
}
# Same registry (less the named churn) and the same files as snapshot $1.
same_as() {
    local now="$2"
    regfile diff "$GN_WORK/$1.reg" "$GN_WORK/$now.reg" --ignore "$churn" --module "$module" &&
        regfile diff "$GN_WORK/$1-user.reg" "$GN_WORK/$now-user.reg" --ignore "$churn" &&
        diff "$GN_WORK/$1.files" "$GN_WORK/$now.files"
}
# Under the classes root snapshot $1 differs from snapshot s0 exactly by what
# the DLL's own registration adds.
writes_registration() {
    { regfile diff "$GN_WORK/s0.reg" "$GN_WORK/$1.reg" --ignore "$churn" --module "$module" || true; } |
        grep -F " $classes\\" | LC_ALL=C sort | diff <(sed 's/^/+ /' "$expected" | LC_ALL=C sort) -
}
msiexec() {  # msiexec LOG ARGS...: the exit code of msiexec
    local log="$1"; shift
    timeout 120 wine msiexec "$@" /qn /l*v "$(gn_winpath "$GN_WORK/$log.log")" </dev/null >/dev/null 2>&1
}
arp_entries() {  # the installed-programs entries named GNLauncher, one version a line
    regfile list "$GN_WORK/$1.reg" --under "$arp" | grep -F '\\DisplayName = sz:GNLauncher' |
        sed 's/\\\\DisplayName.*//' | while read -r key; do
            regfile list "$GN_WORK/$1.reg" --under "$key" | grep -F '\\DisplayVersion = ' | sed 's/.*sz://'
        done
}
product_code() { msiinfo export "$1" Property | awk '$1 == "ProductCode" { print $2 }' | tr -d '\r'; }
# The installer's packed form of a GUID (its registry key names).
packed() {
    python3 -c 'import sys; g = sys.argv[1].strip("{}").split("-")
r = lambda s: s[::-1]
print(r(g[0]) + r(g[1]) + r(g[2]) + "".join(r(g[3][i:i+2]) for i in (0, 2)) + "".join(r(g[4][i:i+2]) for i in range(0, 12, 2)))' "$1"
}
absent() { ! grep -qiF -- "$1" "$GN_WORK/$2.reg" "$GN_WORK/$2-user.reg"; }
registration() { regfile list "$GN_WORK/$1.reg" --under "$classes" --ignore "$churn" --module "$module"; }
same_registration() { diff <(registration "$1") <(registration "$2") && diff "$GN_WORK/$1.files" "$GN_WORK/$2.files"; }
fails() { ! msiexec "$@"; }
fails_to_find() { ! has "$2" "$1"; }
# Unregistration keeps ".dzy" and "dzyfile" with their names (other programs
# may name them). When nothing else of them is left in snapshot $1, they are
# taken away here, so that what follows compares with before.
drop_names_left() {  # drop_names_left SNAPSHOT [CLASSES_ROOT_KEY]
    local snap="$1" root="${2:-$classes}"
    names_only() {
        diff <(regfile list "$GN_WORK/$snap.reg" --under "$root\\$1") \
            <(printf '%s\n' "$root\\$1\\" "$root\\$1\\\\@ = sz:$2") >/dev/null
    }
    [ -n "$(regfile list "$GN_WORK/$snap.reg" --under "$root\\.dzy")" ] || return 0
    check "only .dzy and dzyfile are left, with their names (${root##*\\Software\\})" \
        eval 'names_only .dzy dzyfile && names_only dzyfile "QuorQuery Document"'
    wine reg delete "${root/HKEY_LOCAL_MACHINE/HKLM}\\.dzy" /f /reg:64 </dev/null >/dev/null 2>&1
    wine reg delete "${root/HKEY_LOCAL_MACHINE/HKLM}\\dzyfile" /f /reg:64 </dev/null >/dev/null 2>&1
}

if part signing; then
    echo "=== signing: a password-protected key, an RFC 3161 timestamp"
    # A signer that expires tomorrow, its key under a password, and a
    # time-stamping authority of this test's own on loopback.
    sig="$GN_WORK/signer" pass="gn-$RANDOM-$RANDOM-secret"
    mkdir -p "$sig"
    (
        cd "$sig"
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/CN=test CA" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
        openssl req -newkey rsa:2048 -keyout signer.key -passout "file:/dev/stdin" -out signer.csr \
            -subj "/CN=test signer" 2>/dev/null <<<"$pass"
        printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext.cnf
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signer.pem -days 1 \
            -extfile ext.cnf 2>/dev/null
    )
    tsa_start() {  # tsa_start NAME [MODE]: an authority of tests/installer/tsa.py in $GN_WORK/NAME
        python3 "$GN_HERE/tests/installer/tsa.py" "$GN_WORK/$1" "${@:2}" &
        tsa_pid=$!
        for _ in $(seq 100); do [ -f "$GN_WORK/$1/port" ] && break; sleep 0.1; done
        tsa_url="http://127.0.0.1:$(cat "$GN_WORK/$1/port")"
    }
    tsa_start tsa
    # Signs with a process sampler running beside: the command line of every
    # process, as any user can read it, about every millisecond; osslsigncode
    # blanks a -pass argument itself once started, so only a fast sampler sees
    # one. It counts what it saw of the signing processes.
    cat >"$GN_WORK/sampler.py" <<'PY'
import os, sys, time
secret, out, stop = sys.argv[1].encode(), sys.argv[2], sys.argv[3]
samples = shown = 0
while not os.path.exists(stop):
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            line = open("/proc/%s/cmdline" % pid, "rb").read()
        except OSError:
            continue
        if b"osslsigncode" in line.split(b"\0")[0]:
            samples += 1
            try:  # the command line and the environment
                line += open("/proc/%s/environ" % pid, "rb").read()
            except OSError:
                pass
            shown += secret in line
    time.sleep(0.001)
open(out, "w").write("%d %d\n" % (samples, shown))
PY
    sign_sampled() {  # sign_sampled OUT [tools/package options]
        local out="$1"; shift
        rm -f "$GN_WORK/$out.stop"
        python3 "$GN_WORK/sampler.py" "$pass" "$GN_WORK/$out.samples" "$GN_WORK/$out.stop" &
        local sampler=$!
        GN_SIGN_CERT="${GN_SIGN_CERT:-$sig/signer.pem}" GN_SIGN_KEY="$sig/signer.key" GN_SIGN_PASS="$pass" \
            GN_SIGN_CA="$sig/ca.pem" GN_TIMESTAMP_CA="${GN_TIMESTAMP_CA:-$GN_WORK/tsa/ca.pem}" GN_PACKAGE_WORK="$GN_WORK/$out.work" \
            "$GN_HERE/tools/package" --build "$GN_BUILD" --out "$GN_WORK/$out" "$@" >"$GN_WORK/$out.log" 2>&1
        local status=$?
        touch "$GN_WORK/$out.stop"; wait "$sampler"
        return $status
    }
    check "a package signed with a timestamp" sign_sampled stamped --timestamp "$tsa_url"
    check "and one without" sign_sampled plain
    check "which is warned of" has plain.log "warning: no timestamp"
    # Refused, leaving no package: a timestamp not of GN_TIMESTAMP_CA, a signer without digitalSignature.
    no_package() { ! "$@" && [ -z "$(ls "$GN_WORK/$2"/*.msi 2>/dev/null)" ]; }
    check "a timestamp of a foreign authority fails the run" \
        eval 'GN_TIMESTAMP_CA="$sig/ca.pem" no_package sign_sampled foreign --timestamp "$tsa_url" && has foreign.log "Timestamp Server Signature verification: failed"'
    (cd "$sig" && printf 'keyUsage=critical,keyEncipherment\nextendedKeyUsage=codeSigning\n' >enc.cnf &&
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out enc.pem -days 1 -extfile enc.cnf 2>/dev/null)
    check "a signer without digitalSignature is refused" \
        eval 'GN_SIGN_CERT="$sig/enc.pem" no_package sign_sampled enc && has enc.log "keyUsage without digitalSignature"'
    kill "$tsa_pid"; wait "$tsa_pid" 2>/dev/null
    read -r seen shown <"$GN_WORK/stamped.samples"
    check "the process sampler saw the signing ($seen command lines)" test "$seen" -ge 1
    check "and never the password (command lines and environments)" test "$shown" = 0
    check "nor did the packaging's output" fails_to_find "$pass" stamped.log
    check "nor the signing of the other package" test "$(cut -d' ' -f2 "$GN_WORK/plain.samples")" = 0
    check "nor is the key in any output" fails_to_find "PRIVATE KEY" stamped.log
    stamped_dll="$GN_WORK/stamped.work/x86/GNLauncher.dll"
    stamped_msi="$(ls "$GN_WORK"/stamped/GNLauncher-*.msi | head -1)"
    plain_msi="$(ls "$GN_WORK"/plain/GNLauncher-*.msi | head -1)"
    later=$(( $(date +%s) + 3 * 86400 ))  # two days after the signer expired
    verified_at() {  # verified_at TIME FILE
        osslsigncode verify -CAfile "$sig/ca.pem" -TSA-CAfile "$GN_WORK/tsa/ca.pem" -time "$1" -in "$2" 2>&1 |
            grep -q '^Signature verification: ok'
    }
    has_timestamp() { osslsigncode verify -CAfile "$sig/ca.pem" -TSA-CAfile "$GN_WORK/tsa/ca.pem" -in "$1" 2>&1 | grep -q 'Timestamp time: '; }
    check "the DLL's signature carries a timestamp" has_timestamp "$stamped_dll"
    check "so does the package's" has_timestamp "$stamped_msi"
    check "both verify now" verified_at "$(date +%s)" "$stamped_msi"
    check "the timestamped DLL verifies after the signer's expiry" verified_at "$later" "$stamped_dll"
    check "so does the timestamped package" verified_at "$later" "$stamped_msi"
    not_verified_at() { ! verified_at "$@"; }
    check "a package without a timestamp does not" not_verified_at "$later" "$plain_msi"
    check "while it verifies now" verified_at "$(date +%s)" "$plain_msi"

    echo "=== signing that cannot hang or half-finish"
    # Authorities that stall, fail after 1 or 3 requests (of the 4 a run
    # makes), answer garbage, or are down (the stalled one's port, closed):
    # the run ends by itself, says why and leaves no package of a release
    # name; each request is made twice at most.
    refused() {  # over the packages of an earlier run of the same version
        mkdir -p "$GN_WORK/pass" && cp "$GN_WORK"/v1/*.msi "$GN_WORK/pass/"
        ! GN_SIGN_PASS="$pass" "$GN_HERE/tools/package" --build "$GN_BUILD" --out "$GN_WORK/pass" \
            >"$GN_WORK/pass.log" 2>&1 && has pass.log "GN_SIGN_CERT and GN_SIGN_KEY must both be set" &&
            fails_to_find "$pass" pass.log && ! ls "$GN_WORK/pass"/*.msi >/dev/null 2>&1
    }
    check "a password without a certificate and key is refused, and removes earlier packages" refused
    down_url=""
    unsigned() {  # unsigned NAME MODE REQUESTS
        local status=0 start=$SECONDS url="$down_url"
        [ "$2" = down ] || { tsa_start "$1-tsa" "$2"; url="$tsa_url"; }
        GN_TIMESTAMP_TIMEOUT=3 timeout 120 "$GN_HERE/tools/package" --build "$GN_BUILD" --out "$GN_WORK/$1" \
            --timestamp "$url" >"$GN_WORK/$1.log" 2>&1 || status=$?
        [ "$2" = down ] || { kill "$tsa_pid"; wait "$tsa_pid" 2>/dev/null; down_url="$url"; }
        echo "     ($1: exit $status after $((SECONDS - start)) s)"
        [ "$status" = 1 ] && [ -z "$(ls "$GN_WORK/$1")" ] && has "$1.log" "no package was written" &&
            { [ "$2" = down ] || [ "$(wc -l <"$GN_WORK/$1-tsa/requests")" = "$3" ]; }
    }
    check "a stalled authority: the deadline, once more, then a failure" unsigned stall stall 2
    check "which names the missing answer" has stall.log "no answer from the time-stamping authority"
    check "an authority that fails after 1 request" unsigned after1 1 3
    [ -f "$GN_WORK/v1/GNLauncher-$v1-x64.msi" ] &&
        check "after 3 requests (the 32-bit package signed)" unsigned after3 3 5
    check "one that answers garbage" unsigned garbage garbage 2
    check "one that is down" unsigned down down
    # Ctrl-C in a terminal (script's pty) or SIGTERM while osslsigncode waits: all stop at once, no package.
    stopped() {  # stopped NAME INT|TERM
        local status=0
        tsa_start "$1-tsa" stall
        cmd="GN_TIMESTAMP_TIMEOUT=300 GN_PACKAGE_WORK=$GN_WORK/$1.work $GN_HERE/tools/package --build $GN_BUILD --out $GN_WORK/$1 --timestamp $tsa_url"
        wait_request() { for _ in $(seq 300); do [ -s "$GN_WORK/$1-tsa/requests" ] && break; sleep 0.2; done; }
        if [ "$2" = INT ]; then
            { wait_request "$1"; printf '\003'; sleep 3; } | timeout 120 script -qec "$cmd" /dev/null >"$GN_WORK/$1.log" 2>&1 || status=$?
        else
            timeout 120 bash -c "$cmd" >"$GN_WORK/$1.log" 2>&1 & local pid=$!
            wait_request "$1"; kill -TERM "$(pgrep -P $pid)"; wait $pid || status=$?
        fi
        kill "$tsa_pid"; wait "$tsa_pid" 2>/dev/null
        echo "     ($1: exit $status, $(wc -l <"$GN_WORK/$1-tsa/requests") request(s))"
        [ "$status" = $((128 + $(kill -l "$2"))) ] && [ "$(wc -l <"$GN_WORK/$1-tsa/requests")" = 1 ] &&
            ! pgrep -f "$GN_WORK/$1.work" >/dev/null && [ -z "$(ls "$GN_WORK/$1")" ]
    }
    check "Ctrl-C in a terminal stops the run and its children" stopped ctrlc INT
    check "so does SIGTERM" stopped term TERM
fi

if part x86; then
snap s0
echo "=== a per-user installation"
check "is refused (ALLUSERS empty, or 2 with MSIINSTALLPERUSER=1)" eval \
    'fails peruser /i "$(gn_winpath "$msi1")" ALLUSERS= && fails peruser2 /i "$(gn_winpath "$msi1")" ALLUSERS=2 MSIINSTALLPERUSER=1'
echo "=== the Registry table alone (GN_NOSELFREG=1)"
check "installs" msiexec tables /i "$(gn_winpath "$msi1")" GN_NOSELFREG=1
snap tables
check "and writes exactly what regsvr32 writes" writes_registration tables
check "removes" msiexec tables-x /x "$(gn_winpath "$msi1")"
snap tables-x
check "back to the registry and files of before" same_as s0 tables-x

echo "=== install $v1"
check "installs" msiexec v1 /i "$(gn_winpath "$msi1")"
snap v1
check "the same registration with the DLL's own step" writes_registration v1
check "one installed-programs entry, $v1" test "$(arp_entries v1)" = "$v1"
installed="$WINEPREFIX/drive_c/Program Files/GNLauncher/GNLauncher.dll"
check "the installed DLL is signed" verified "$installed"
check "and the health check are the only files" test \
    "$(ls "$WINEPREFIX/drive_c/Program Files/GNLauncher" | LC_ALL=C sort | tr '\n' ' ')" = "GNLauncher.dll gncheck.exe "
file_version() { msiinfo export "$1" File | awk -F'\t' '$1 == "Dll32" { print $5 }' | tr -d '\r'; }
check "the File table holds the DLL's version" test "$(file_version "$msi1")" = "$v1"
regfile list "$GN_WORK/v1.reg" --under "$arp" >"$GN_WORK/v1-arp.txt"
check "the entry has the help link" has v1-arp.txt "\\HelpLink = sz:$help_link"
check "and the about link" has v1-arp.txt "\\URLInfoAbout = sz:$about_link"
# (Windows shows ARPPRODUCTICON as the entry's DisplayIcon; Wine's msi does not write it.)
product_icon() {
    msiinfo export "$msi1" Property | tr -d '\r' | grep -qx $'ARPPRODUCTICON\tGNLauncher.ico' &&
        msiinfo streams "$msi1" | grep -qx 'Icon.GNLauncher.ico'
}
check "and the package names the launcher icon for it" product_icon
regfile list "$GN_WORK/v1.reg" --under 'HKEY_LOCAL_MACHINE\Software\Veltrix\GNLauncher' >"$GN_WORK/v1-version.txt"
check "the registry names the installed version" has v1-version.txt "\\x86\\\\Version = sz:$v1"
cp "$GN_WORK/v1.reg" "$GN_WORK/v1-first.reg"

echo "=== repair of a lost DLL and interface (REINSTALL=ALL REINSTALLMODE=omus)"
rm -f "$installed"
wine reg delete 'HKCR\Interface\{4C6A2F85-D3B1-4E97-8A05-F29E61B7C3D0}' /f </dev/null >/dev/null 2>&1
check "repairs" msiexec repair /i "$(gn_winpath "$msi1")" REINSTALL=ALL REINSTALLMODE=omus
snap repair
check "registration and files as after the install" same_registration v1 repair

echo "=== a rebuild of $v1 over it"
check "installs" msiexec v1b /i "$(gn_winpath "$msi1b")"
snap v1b
check "still one installed-programs entry, $v1" test "$(arp_entries v1b)" = "$v1"
first="$(product_code "$msi1")"
check "the first build's product is gone" absent "$first" v1b
check "registration and files as after the first" same_registration v1 v1b

echo "=== upgrade to $v2"
check "installs over it" msiexec v2 /i "$(gn_winpath "$msi2")"
snap v2
check "one installed-programs entry, $v2" test "$(arp_entries v2)" = "$v2"
old="$(product_code "$msi1b")"
check "nothing left of $old" absent "$old" v2
check "nor of its packed form" absent "$(packed "$old")" v2
check "registration and files as after the fresh install" same_registration v1 v2
check "removes" msiexec v2-x /x "$(gn_winpath "$msi2")"
snap v2-x
check "back to the registry and files of before" same_as s0 v2-x

echo "=== a replaced DLL swapped for another file while the package is installed"
# The replaced DLL's hash is kept; another DLL put in its place is not run at removal.
mkdir -p "$WINEPREFIX/drive_c/Hand32" && cp "$GN_WORK/v1.work/x86/GNLauncher.dll" "$WINEPREFIX/drive_c/Hand32/"
timeout 60 wine regsvr32 /s 'C:\Hand32\GNLauncher.dll' </dev/null >/dev/null 2>&1
check "installs over it" msiexec planted /i "$(gn_winpath "$msi1")"
wine reg query 'HKLM\Software\Veltrix\GNLauncher\x86' </dev/null 2>&1 | tr -d '\r' >"$GN_WORK/planted.txt"
check "keeping its path and hash" eval 'grep -Eqi "Replaced +REG_SZ +C:.Hand32.GNLauncher.dll$" "$GN_WORK/planted.txt" &&
    grep -Eq "ReplacedHash +REG_SZ +[0-9a-f]{64}$" "$GN_WORK/planted.txt"' 
cp "$GN_BUILD/bin/gnclients.dll" "$WINEPREFIX/drive_c/Hand32/GNLauncher.dll"
check "removes" msiexec planted-x /x "$(gn_winpath "$msi1")"
check "the planted DLL did not run (no class of its registered)" eval '! wine reg query "$GN_LEGACY_KEY" </dev/null >/dev/null 2>&1'
rm -rf "$WINEPREFIX/drive_c/Hand32"
snap planted-x
drop_names_left planted-x
snap planted-y
check "back to the registry and files of before" same_as s0 planted-y

echo "=== .dzy owned by another program"
wine reg add "$classes\\.dzy" /ve /d otherfile /f </dev/null >/dev/null 2>&1
wine reg add "$classes\\otherfile" /ve /d "Other Document" /f </dev/null >/dev/null 2>&1
wine reg add "$classes\\otherfile" /v EditFlags /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1
snap foreign
check "installs" msiexec foreign-i /i "$(gn_winpath "$msi1")"
snap foreign-i
registration foreign-i >"$GN_WORK/foreign-i.txt"
check ".dzy still names the other program" has foreign-i.txt "$classes\\.dzy\\\\@ = sz:otherfile"
check "whose key gained the launcher" has foreign-i.txt "$classes\\otherfile\\CLSID\\\\@ = sz:{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}"
check "its values were kept" has foreign-i.txt "$classes\\DZxLauncher.SavedAssociation\\\\@ = sz:otherfile"
check "dzyfile was not made" fails_to_find "$classes\\dzyfile\\" foreign-i.txt
check "removes" msiexec foreign-x /x "$(gn_winpath "$msi1")"
snap foreign-x
check "the other program's association is as before" same_as foreign foreign-x
wine reg delete "$classes\\.dzy" /f </dev/null >/dev/null 2>&1
wine reg delete "$classes\\otherfile" /f </dev/null >/dev/null 2>&1

echo "=== a failing install"
check "fails" fails fail /i "$(gn_winpath "$msifail")"
failed_at() { grep -a "Action ended .*: $1\. Return value" "$GN_WORK/fail.log" | tail -1 | grep -qv 'Return value 1\.'; }
check "at its last step" failed_at GNFailTest
snap fail
check "and rolls back to the registry and files of before" same_as s0 fail

echo "=== a document in iexplore through the installed DLL"
check "installs" msiexec browse /i "$(gn_winpath "$msi2")"
register_clients() { (cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s gnclients.dll </dev/null >/dev/null 2>&1); }
check "the reference controls register" register_clients
timeout 60 wine reg delete "$GN_LEGACY_KEY" /f </dev/null >/dev/null 2>&1
served_from() {
    wine reg query 'HKCR\CLSID\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}\InprocServer32' /ve </dev/null 2>/dev/null |
        grep -qF "$1"
}
check "the launcher class is served from Program Files" served_from "$module"
gn_docserver_start "$GN_HERE/samples" || exit 1
url="http://127.0.0.1:$GN_PORT/quarterly.dzy"
check "an outcome within 45 s" gn_browse iexplore "$url" 45
check "the launcher loaded the document" has launcher.log "Gotten Url: $url"
check "the download ended well" has launcher.log "OnStopBinding: Data downloaded successfully"
check "the current client was started in its window" has calls.txt "PluginCtl InPlaceActive "
gn_close_browser iexplore
[ "$failures" -eq 0 ] || show
msiexec browse-x /x "$(gn_winpath "$msi2")"
(cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s /u gnclients.dll </dev/null >/dev/null 2>&1)
fi

# A script host reads the client's version through the registered module:
# "version N", or "error N" when the module cannot be reached.
version_read() {  # version_read NAME CSCRIPT...
    local name="$1"; shift
    printf '%s\n' 'try { WScript.Echo("version " + new ActiveXObject("DZxLauncher.MorvaneVersion").GetClientVersion()); }' \
        'catch (e) { WScript.Echo("error " + (e.number >>> 0).toString(16)); }' >"$GN_WORK/$name.js"
    timeout 60 "$@" //nologo "$(gn_winpath "$GN_WORK/$name.js")" </dev/null 2>&1 | tr -d '\r' >"$GN_WORK/$name.out"
    grep -q '^version [0-9]' "$GN_WORK/$name.out"
}
cannot_read() { ! version_read "$@"; }

if part folders; then
    echo "=== registration from folders outside the code page and of 259 characters"
    # The DLL from a folder ($1, below C:) by regsvr32, read back from a
    # script host, unregistered; the registry as before, nothing written when
    # the registration failed.
    dll="$GN_WORK/v1.work/x86/GNLauncher.dll"
    (cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s gnclients.dll </dev/null >/dev/null 2>&1)
    version_read warm wine cscript  # the script host registers its type library once
    kLauncherServer='\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}\InprocServer32\\@'

    folder_case() {  # folder_case NAME RELATIVE_FOLDER
        local name="$1" rel="$2" win
        win="C:\\${rel//\//\\}"
        mkdir -p "$WINEPREFIX/drive_c/$rel" && cp "$dll" "$WINEPREFIX/drive_c/$rel/GNLauncher.dll"
        snap "$name-0"
        check "regsvr32 registers C:\\${rel:0:24}... (${#win} characters)" \
            timeout 60 wine regsvr32 /s "$win\\GNLauncher.dll"
        snap "$name-1"
        registration "$name-1" >"$GN_WORK/$name-1.txt"
        # The path whole, or (beyond MAX_PATH, which the platform's loaders
        # cannot take) its short form.
        local path="$win\\GNLauncher.dll"
        [ ${#path} -lt 260 ] || path="$(grep -F "$kLauncherServer" "$GN_WORK/$name-1.txt" | sed 's/.* = sz://')"
        check "the class is served from there ($path)" has "$name-1.txt" "$kLauncherServer = sz:$path"
        check "the type library is registered there" has "$name-1.txt" "\\win32\\\\@ = sz:$path"
        check "the data files show its icon" has "$name-1.txt" "dzdfile\\DefaultIcon\\\\@ = sz:$path,2"
        check "a script host reads the client's version through it" version_read "$name" wine cscript
        check "regsvr32 /u unregisters it" timeout 60 wine regsvr32 /s /u "$win\\GNLauncher.dll"
        snap "$name-2"
        drop_names_left "$name-2"
        snap "$name-3"
        check "the registry as before" same_registration "$name-0" "$name-3"
        rm -rf "$WINEPREFIX/drive_c/${rel%%/*}"
    }
    folder_case unicode "Данные 中文"
    long="$(python3 -c '
parts, n = [], 3
while n + 61 < 259 - 60:
    parts.append("folder%02d" % len(parts) + "x" * 52); n += 61
parts.append("y" * (259 - n)); print("/".join(parts))')"
    folder_case long "$long"

    echo "=== a copy unregistered from such a folder while registered from elsewhere"
    mkdir -p "$WINEPREFIX/drive_c/Elsewhere" "$WINEPREFIX/drive_c/Данные 中文"
    cp "$dll" "$WINEPREFIX/drive_c/Elsewhere/GNLauncher.dll"
    cp "$dll" "$WINEPREFIX/drive_c/Данные 中文/GNLauncher.dll"
    snap copy-0
    timeout 60 wine regsvr32 /s 'C:\Elsewhere\GNLauncher.dll' </dev/null >/dev/null 2>&1
    check "regsvr32 /u of the copy succeeds" timeout 60 wine regsvr32 /s /u 'C:\Данные 中文\GNLauncher.dll'
    snap copy-1
    drop_names_left copy-1
    snap copy-2
    check "and nothing is left registered" same_registration copy-0 copy-2
    rm -rf "$WINEPREFIX/drive_c/Elsewhere" "$WINEPREFIX/drive_c/Данные 中文"

    # Over 260 characters the DLL registers its 8.3 path: removal knows it for its own.
    for rel in "Данные 中文" "$long/gn"; do
        echo "=== the package installed into a folder outside the code page or of $((${#rel} + 4)) characters"
        mkdir -p "$WINEPREFIX/drive_c/$(dirname "$rel")" && snap pkgdir-0
        check "installs" msiexec pkgdir /i "$(gn_winpath "$msi1")" "GNDIR32=C:\\${rel//\//\\}\\"
        check "the DLL is there" test -f "$WINEPREFIX/drive_c/$rel/GNLauncher.dll"
        check "a script host reads the client's version through it" version_read pkgdir wine cscript
        check "removes" msiexec pkgdir-x /x "$(gn_winpath "$msi1")"
        snap pkgdir-1
        check "back to the registry and files of before" same_as pkgdir-0 pkgdir-1
        rm -rf "$WINEPREFIX/drive_c/${long%%/*}"
    done
    (cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s /u gnclients.dll </dev/null >/dev/null 2>&1)
fi

# Both packages on a 64-bit system (the 32-bit one and the x64 one with both
# DLLs; build-x64 beside this build, found by tools/package), in a clean
# 64-bit prefix that holds the system's category keys: in either order,
# removed by the 32-bit and by the 64-bit msiexec, and beside a 64-bit DLL
# registered by hand. Whatever flavor is still installed keeps working (the
# 64-bit and the 32-bit script host read the client's version through it);
# after the last removal the registry is what it was before.
msi64="$GN_WORK/v1/GNLauncher-$v1-x64.msi"
if part x64 && [ -f "$msi64" ]; then
    echo "=== the x64 package in a 64-bit prefix"
    gn_prefix_stop
    export WINEPREFIX="$GN_BUILD/wineprefix-installer64" WINEARCH=win64
    rm -rf "$WINEPREFIX"
    gn_prefix_start
    wine64=/usr/lib/wine/wine64
    # One key for both views, as on Windows (Wine's 32-bit view falls back to it).
    wine reg add "$classes\MIME\Database\Content Type" /f /reg:64 </dev/null >/dev/null 2>&1
    "$GN_HERE/installer/system-keys" wine /reg:64
    # The reference clients, for the script hosts to read a version from.
    (cd "$GN_BUILD/../build-x64/bin" 2>/dev/null && timeout 60 "$wine64" regsvr32 /s gnclients.dll </dev/null >/dev/null 2>&1)
    (cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s gnclients_v8_0.dll </dev/null >/dev/null 2>&1)
    # The script hosts register their own type library when first run.
    version_read warm64 "$wine64" cscript; version_read warm32 wine cscript
    snap64() {  # both registry views: the 32-bit one is Software\Wow6432Node
        timeout 120 wine reg export HKLM "$(gn_winpath "$GN_WORK/$1.reg")" /y /reg:64 </dev/null >/dev/null
        timeout 120 wine reg export HKCU "$(gn_winpath "$GN_WORK/$1-user.reg")" /y /reg:64 </dev/null >/dev/null
        (cd "$WINEPREFIX/drive_c" && find . -path ./windows/Installer -prune -o -printf '%y %s %P\n' | sort) \
            >"$GN_WORK/$1.files"
    }
    served_in() {  # served_in VIEW PATH
        wine reg query 'HKCR\CLSID\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}\InprocServer32' /ve "/reg:$1" \
            </dev/null 2>/dev/null | grep -qF "$2"
    }
    msiexec_by() {  # msiexec_by 32|64 LOG ARGS...: msiexec of that bitness
        local loader=wine log="$2"
        [ "$1" = 64 ] && loader="$wine64"
        shift 2
        timeout 120 "$loader" msiexec "$@" /qn /l*v "$(gn_winpath "$GN_WORK/$log.log")" </dev/null >/dev/null 2>&1
    }
    works() {  # works 32|64 NAME: that flavor's script host reads the version
        if [ "$1" = 64 ]; then version_read "$2" "$wine64" cscript; else version_read "$2" wine cscript; fi
    }
    pkg32="$(gn_winpath "$msi1")" pkg64="$(gn_winpath "$msi64")"
    arp_entries_now() {  # installed-programs entries named GNLauncher, in either view
        for v in 32 64; do
            wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$v" </dev/null 2>/dev/null
        done | tr -d '\r' | grep -cE 'DisplayName +REG_SZ +GNLauncher$'
    }
    snap64 w0
    check "installs" msiexec_by 64 x64 /i "$pkg64"
    check "the 64-bit DLL, signed" verified "$WINEPREFIX/drive_c/Program Files/GNLauncher/GNLauncher.dll"
    check "the 32-bit DLL, signed" verified "$WINEPREFIX/drive_c/Program Files (x86)/GNLauncher/GNLauncher.dll"
    check "the 64-bit view serves the 64-bit DLL" served_in 64 "$module"
    check "the 32-bit view the 32-bit one" served_in 32 'C:\Program Files (x86)\GNLauncher\GNLauncher.dll'
    check "the 64-bit flavor works" works 64 x64-64
    check "the 32-bit flavor works" works 32 x64-32
    check "removes" msiexec_by 64 x64-x /x "$pkg64"
    snap64 w1-left
    drop_names_left w1-left
    snap64 w1
    check "back to the registry and files of before" same_as w0 w1

    # The order table, in one pass: each step installs (+) or removes (-) a
    # package (p32, p64; by the msiexec of the bitness after the colon) or a
    # DLL by hand (h32, h64, in C:\Hand32 and C:\Hand64). Both packages, and
    # each with a hand DLL of either flavor, in every order of install and
    # removal (a hand DLL of the package's flavor goes after the package).
    # After every step: each flavor left is served by the DLL registered last,
    # the interfaces are whole in both views, HELPDIR names a folder that
    # stays, and a 32-bit and a 64-bit program marshal IMorvaneVersion; with
    # nothing left, the registry and files are those of before.
    walk=(
        +p32:32 -p32:32 +p32:64 -p32:64                                 # the 32-bit package alone
        +p32:32 +p64:64 -p64:32 +p64:32 -p32:64 +p32:64 -p32:32 +p32:32 -p64:64 -p32:64
        +h64 +p32:32 -p32:64 +p32:64 -h64 +h64 -h64 +h64 -p32:32 -h64  # the other flavor by hand
        +h32 +h64 +p64:64 -p64:32 -h64 -h32                              # the same flavor by hand, first
        +p64:32 +h32 +h64 -p64:64 -h32 -h64                              # and after
        +h32 +p32:32 -p32:64 -h32 +p32:64 +h32 -p32:32 -h32
        # From the previous release (o32, o64): one kind; both, x64 first; both, 32-bit first ("!": refused)
        +o32:32 +p32:32 -p32:64
        +o32:32 +o64:64 +p64:64 +p32:32 -p64:32 -p32:64
        +o64:64 +o32:32 !p32:32 -o64:64 +p32:32 +p64:64 -p32:32 -p64:64
    )
    previous="$GN_HERE/tests/installer/previous" old_version=8.3.2.122
    msi_of() { case "$1" in p32) echo "$pkg32" ;; p64) echo "$pkg64" ;;
        o32) gn_winpath "$previous/GNLauncher-$old_version.msi" ;; o64) gn_winpath "$previous/GNLauncher-$old_version-x64.msi" ;; esac; }
    # "VIEW KEY VERSION" of each "Version" value, now and as the installed packages write them.
    versions_now() {
        for v in 32 64; do
            wine reg query 'HKLM\Software\Veltrix\GNLauncher' /s "/reg:$v" </dev/null 2>/dev/null | tr -d '\r' |
                awk -v v=$v '/^HKEY/ { n = split($0, k, "\\"); key = k[n] } $1 == "Version" { print v, key, $3 }'
        done | sort -u | xargs
    }
    versions_of() {
        for a in "$@"; do case "$a" in
            p32) echo "32 x86 $v1" ;; p64) echo "32 x64 $v1"; echo "64 x64 $v1" ;;
            o32) echo "32 GNLauncher $old_version" ;; o64) echo "32 GNLauncher $old_version"; echo "64 GNLauncher $old_version" ;;
        esac; done | sort -u | xargs
    }
    dll_version() { python3 "$GN_HERE/installer/dll_version.py" "$1"; }
    # Hand-made folders are part of "before" from here on.
    for f in 32 64; do mkdir -p "$WINEPREFIX/drive_c/Hand$f"; cp "$GN_WORK/v1.work/x${f/32/86}/GNLauncher.dll" "$WINEPREFIX/drive_c/Hand$f/"; done
    snap64 w0
    folder_of() {  # the folder of an actor's DLL of one flavor
        case "$1:$2" in
            [po]32:32 | [po]64:32) echo 'C:\Program Files (x86)\GNLauncher\' ;; [po]64:64) echo 'C:\Program Files\GNLauncher\' ;;
            h32:32 | h64:64) echo "C:\\Hand$2\\" ;;
        esac
    }
    probe() {  # probe 32|64: gnmarshal.exe of that bitness, into $GN_WORK/probe32 or probe64
        local loader=wine dir="$GN_BUILD/bin"
        [ "$1" = 64 ] && loader="$wine64" dir="$GN_BUILD/../build-x64/bin"
        timeout 60 "$loader" "$(gn_winpath "$dir/gnmarshal.exe")" </dev/null 2>/dev/null | tr -d '\r' >"$GN_WORK/probe$1"
    }
    healthy() {  # healthy 32|64 STEP: the installed gncheck.exe of that flavor finds all OK
        local loader=wine exe='C:\Program Files (x86)\GNLauncher\gncheck.exe' out="$GN_WORK/gncheck$2-$1.txt"
        [ "$1" = 64 ] && loader="$wine64" exe='C:\Program Files\GNLauncher\gncheck.exe'
        timeout 60 "$loader" "$exe" </dev/null 2>/dev/null | tr -d '\r' >"$out"
        [ "${PIPESTATUS[0]}" = 0 ] || { grep -A1 -E '^(WARNING|PROBLEM)' "$out"; return 1; }
    }
    declare -A stack=([32]="" [64]="")  # actors serving each flavor, registered last at the end
    n=0
    for step in "${walk[@]}"; do
        n=$((n + 1)) verb="${step:0:1}" actor="${step:1:3}" bits="${step:5}"
        case "$verb$actor" in
            +[po]*) check "$n: $step installs" msiexec_by "$bits" "w$n" /i "$(msi_of $actor)" ;;
            -[po]*) check "$n: $step removes" msiexec_by "$bits" "w$n" /x "$(msi_of $actor)" ;;
            !p*) check "$n: $step is refused by its launch condition, saying to upgrade both" eval '! msiexec_by "$bits" "w$n" /i "$(msi_of $actor)" &&
                     grep -aq "LaunchConditions. Return value [^1]" "$GN_WORK/w$n.log" && msiinfo export "$msi1" LaunchCondition | grep -q "Upgrade both"' ;;
            *) check "$n: $step by hand" timeout 60 "$([ "$actor" = h64 ] && echo "$wine64" || echo wine)" regsvr32 /s \
                   $([ "$verb" = - ] && echo /u) "C:\\Hand${actor:1}\\GNLauncher.dll" ;;
        esac
        [ "$verb" = ! ] && replaced="$actor" || case "$verb$actor" in  # an upgrade removes earlier packages
            +p32) replaced="o32" ;; +p64) replaced="o32 o64" ;; *) replaced="" ;; esac
        for f in 32 64; do  # the actor leaves its flavors' stacks, or goes on top
            [ -n "$(folder_of "$actor" "$f")" ] || continue
            s=" ${stack[$f]} " && s="${s// $actor / }"
            for r in $replaced; do s="${s// $r / }"; done
            # A hand DLL that took over from the package is not registered again (no kept hash).
            if [ "$verb${actor:0:1}" = -p ] && [[ "$s " != *" p"* ]]; then
                after="${stack[$f]#*$actor}" && for h in $after; do s="${s// $h / }"; done
            fi
            { [ "$verb" = + ] && s="$s $actor"; } || true
            read -r -a now <<<"$s" && stack[$f]="${now[*]}"
        done
        read -r -a here_now <<<"${stack[32]} ${stack[64]}"
        if [ "${actor:0:1}" != h ]; then
            check "$n: one installed-programs entry per package" test "$(arp_entries_now)" = "$(
                tr ' ' '\n' <<<"${here_now[*]}" | grep '^[po]' | sort -u | wc -l)"
            # The release's own health check, after each of its installs.
            [ "$verb${actor:0:1}" != +p ] || for f in 32 $([ "$actor" = p64 ] && echo 64); do
                check "$n: the installed gncheck.exe ($f-bit) finds all OK" healthy "$f" "$n"
            done
        fi
        check "$n: the installed packages' Version values, no other" test "$(versions_now)" = "$(versions_of "${here_now[@]}")"
        if [ -z "${stack[32]}${stack[64]}" ]; then
            # What the 64-bit msiexec left below Wow6432Node (see the README):
            # only names and empty MIME parents, taken away here.
            snap64 "w$n-left"
            drop_names_left "w$n-left"
            drop_names_left "w$n-left" "$classes\\Wow6432Node"
            if [ -n "$(regfile list "$GN_WORK/w$n-left.reg" --under "$classes\\Wow6432Node\\MIME")" ]; then
                check "$n: the 32-bit view keeps only empty MIME parents" \
                    test -z "$(regfile list "$GN_WORK/w$n-left.reg" --under "$classes\\Wow6432Node\\MIME" | grep -F ' = ')"
                wine reg delete 'HKLM\Software\Classes\Wow6432Node\MIME' /f /reg:64 </dev/null >/dev/null 2>&1
            fi
            snap64 "w$n-end"
            check "$n: back to the registry and files of before" same_as w0 "w$n-end"
            probe 32; probe 64
            check "$n: no interface left in either view" eval 'has probe32 "interfaces=0" && has probe64 "interfaces=0"'
            continue
        fi
        probe 32; probe 64
        for f in 32 64; do
            top="$(awk '{ print $NF }' <<<"${stack[$f]}")"
            [ -z "$top" ] || check "$n: the $f-bit view serves the DLL of $top" has "probe$f" "server=$(folder_of "$top" $f)GNLauncher.dll|"
            dir="$(folder_of "$top" $f)" && dir="${dir#C:\\}"
            [ -z "$top" ] || check "$n: its file is version $([ "${top:0:1}" = o ] && echo $old_version || echo $v1)" test \
                "$(dll_version "$WINEPREFIX/drive_c/${dir//\\//}GNLauncher.dll")" = "$([ "${top:0:1}" = o ] && echo $old_version || echo $v1)"
            check "$n: the interfaces are whole in the $f-bit view" has "probe$f" "|interfaces=3"
        done
        helpdir="$(sed -n 's/.*|helpdir=\(.*\)|.*/\1/p' "$GN_WORK/probe64")"
        check "$n: HELPDIR names a folder that stays ($helpdir)" eval 'for a in "${here_now[@]}"; do
            [ "$helpdir" = "$(folder_of "$a" 32)" ] || [ "$helpdir" = "$(folder_of "$a" 64)" ] && break; done'
        # The service of the program's flavor, or (64-bit, its flavor gone)
        # an object of its own through the 32-bit library. Wine's 32-bit
        # marshaler reads only the library's win32 path: no 32-bit program
        # marshals once the 32-bit flavor is gone (its 64-bit one falls back).
        [ -z "${stack[64]}" ] && want=own || want=served
        check "$n: a 64-bit program marshals IMorvaneVersion ($want)" grep -q "^$want .*marshal 0x00000000$" "$GN_WORK/probe64"
        if [ -n "${stack[32]}" ]; then
            check "$n: a 32-bit program marshals IMorvaneVersion" grep -q "^served .*marshal 0x00000000$" "$GN_WORK/probe32"
        fi
    done

    echo "=== the flavors registered from the system folders, the 32-bit one unregistered"
    # The 64-bit flavor that stays keeps its own library (System32 unredirected).
    cp "$GN_WORK/v1.work/x64/GNLauncher.dll" "$WINEPREFIX/drive_c/windows/system32/"
    cp "$GN_WORK/v1.work/x86/GNLauncher.dll" "$WINEPREFIX/drive_c/windows/syswow64/"
    timeout 60 "$wine64" regsvr32 /s 'C:\windows\system32\GNLauncher.dll' </dev/null >/dev/null 2>&1
    timeout 60 wine regsvr32 /s 'C:\windows\syswow64\GNLauncher.dll' </dev/null >/dev/null 2>&1
    check "the 32-bit one unregisters" timeout 60 wine regsvr32 /s /u 'C:\windows\syswow64\GNLauncher.dll'
    probe 64
    check "the interfaces are whole, a 64-bit program marshals" eval 'has probe64 "|interfaces=3" &&
        grep -q "^served .*marshal 0x00000000$" "$GN_WORK/probe64"'
    timeout 60 "$wine64" regsvr32 /s /u 'C:\windows\system32\GNLauncher.dll' </dev/null >/dev/null 2>&1
    rm -f "$WINEPREFIX/drive_c/windows/system32/GNLauncher.dll" "$WINEPREFIX/drive_c/windows/syswow64/GNLauncher.dll"
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
