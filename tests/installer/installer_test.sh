#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, in a clean 32-bit prefix
# of this test's own: signatures; what the Registry table alone writes against
# what the DLL's own registration writes; install, upgrade in place and
# removal back to the registry and file tree of before; a foreign ".dzy"
# association kept and given back; a failing install rolled back; and a
# document opened in iexplore through the installed DLL.
# Usage: installer_test.sh SOURCE_DIR BUILD_DIR
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

regfile() { python3 "$GN_HERE/installer/regfile.py" "$@"; }
churn="$GN_HERE/tests/installer/churn.txt"
module='C:\Program Files\GNLauncher\GNLauncher.dll'
classes='HKEY_LOCAL_MACHINE\Software\Classes'
arp='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
ca="$GN_BUILD/package/signing/ca.pem"

# Packages: this build's version, a newer one from the same DLL, and one
# whose last step fails. Always signed with the build tree's throw-away CA.
unset GN_SIGN_CERT GN_SIGN_KEY GN_SIGN_PASS
pkg() { "$GN_HERE/tools/package" --build "$GN_BUILD" --out "$GN_WORK/$1" "${@:2}" >/dev/null; }
pkg v1 && pkg fail --fail-test || { echo "FAIL tools/package"; exit 1; }
v1="$(cd "$GN_WORK/v1" && ls GNLauncher-*.msi | grep -v x64 | sed 's/^GNLauncher-//; s/\.msi$//')"
IFS=. read -r a b c _ <<<"$v1"
v2="$a.$b.$((c + 1)).0"
pkg v2 --version "$v2" || { echo "FAIL tools/package --version"; exit 1; }
msi1="$GN_WORK/v1/GNLauncher-$v1.msi" msi2="$GN_WORK/v2/GNLauncher-$v2.msi"
msifail="$GN_WORK/fail/GNLauncher-$v1.msi"
expected="$GN_WORK/v1/.work/rows32/expected.txt"

verified() { osslsigncode verify -CAfile "$ca" -in "$1" 2>&1 | grep -q '^Signature verification: ok'; }
check "the package verifies against the throw-away CA" verified "$msi1"
check "so does the DLL inside it" verified "$GN_WORK/v1/.work/x86/GNLauncher.dll"
not_by_system_cas() {
    ! osslsigncode verify -CAfile /etc/ssl/certs/ca-certificates.crt -in "$1" 2>&1 |
        grep -q '^Signature verification: ok'
}
check "and not against the system's CAs" not_by_system_cas "$msi1"

# A clean prefix. "MIME\Database\Content Type" exists on every Windows but not
# in a fresh prefix; made here so that removal has a parent to leave.
rm -rf "$WINEPREFIX"
gn_prefix_start
wine reg add "$classes\\MIME\\Database\\Content Type" /f </dev/null >/dev/null 2>&1

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

snap s0
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
check "and is the only file" test "$(ls "$WINEPREFIX/drive_c/Program Files/GNLauncher")" = GNLauncher.dll

echo "=== upgrade to $v2"
check "installs over it" msiexec v2 /i "$(gn_winpath "$msi2")"
snap v2
check "one installed-programs entry, $v2" test "$(arp_entries v2)" = "$v2"
old="$(product_code "$msi1")"
check "nothing left of $old" absent "$old" v2
check "nor of its packed form" absent "$(packed "$old")" v2
check "registration and files as after the fresh install" same_registration v1 v2
check "removes" msiexec v2-x /x "$(gn_winpath "$msi2")"
snap v2-x
check "back to the registry and files of before" same_as s0 v2-x

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

# With a 64-bit DLL (build-x64 beside this build, found by tools/package) the
# x64 package, in a clean 64-bit prefix: each DLL in its Program Files, each
# registered in its own registry view, and removal back to before.
msi64="$GN_WORK/v1/GNLauncher-$v1-x64.msi"
if [ -f "$msi64" ]; then
    echo "=== the x64 package in a 64-bit prefix"
    gn_prefix_stop
    export WINEPREFIX="$GN_BUILD/wineprefix-installer64" WINEARCH=win64
    rm -rf "$WINEPREFIX"
    gn_prefix_start
    wine reg add "$classes\MIME\Database\Content Type" /f /reg:64 </dev/null >/dev/null 2>&1
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
    snap64 w0
    check "installs" msiexec x64 /i "$(gn_winpath "$msi64")"
    check "the 64-bit DLL, signed" verified "$WINEPREFIX/drive_c/Program Files/GNLauncher/GNLauncher.dll"
    check "the 32-bit DLL, signed" verified "$WINEPREFIX/drive_c/Program Files (x86)/GNLauncher/GNLauncher.dll"
    check "the 64-bit view serves the 64-bit DLL" served_in 64 "$module"
    check "the 32-bit view the 32-bit one" served_in 32 'C:\Program Files (x86)\GNLauncher\GNLauncher.dll'
    check "removes" msiexec x64-x /x "$(gn_winpath "$msi64")"
    snap64 w1
    check "back to the registry and files of before" same_as w0 w1
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
