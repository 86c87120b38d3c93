#!/usr/bin/env bash
# Documents over HTTPS. A test CA and four server certificates are made with
# openssl in the build tree (trusted for localhost and 127.0.0.1, expired, for
# another host name, from a CA nobody trusts), each served by a loopback TLS
# document server. Wine's certificate chain engine trusts the host's CA
# bundle only, so the test runs in a private mount namespace of its own where
# a bundle that also holds the test CA is bound over the system one; the
# machine's own trust store never changes. A wineserver of this test's own
# prefix runs inside the namespace.
#
# Checked: a trusted document opens in gnviewer.exe and in Wine's iexplore;
# the launcher's HTTPS cases of test_launcher.exe (a refused certificate ends
# the download with "Certificate error: <reason>" at the plugin, no file
# left); a Secure legacy-server cookie set by the TLS server is seen.
# Skipped (exit 77) without root, unshare or the system bundle.
# Usage: tls_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2"
system_bundle=/etc/ssl/certs/ca-certificates.crt

if [ -z "${GN_TLS_NAMESPACE:-}" ]; then
    skip() { echo "SKIP: $*"; exit 77; }
    [ "$(id -u)" -eq 0 ] || skip "needs root for a private mount namespace (unshare -m)"
    command -v unshare >/dev/null || skip "unshare is not installed"
    command -v openssl >/dev/null || skip "openssl is not installed (tools/setup installs it)"
    [ -f "$system_bundle" ] || skip "no system CA bundle at $system_bundle"
    unshare -m true 2>/dev/null || skip "unshare -m is not permitted here"
    GN_TLS_NAMESPACE=1 exec timeout -k 10 370 unshare -m --propagation private bash "$0" "$@"
fi

# From here on: inside the private mount namespace.
GN_WORK="$(mktemp -d "$GN_BUILD/tls-test.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-tls" null
certs="$GN_WORK/certs"
server_pids=()

. "$GN_HERE/tests/support/checks.sh"
cleanup() {
    gn_close_browser iexplore >/dev/null 2>&1
    gn_docserver_stop
    local pid
    for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    gn_prefix_stop
    umount "$system_bundle" 2>/dev/null
    rm -rf "$GN_WORK"  # the keys go with it
}
trap cleanup EXIT
trap "exit 1" TERM INT  # the time limit ends it through cleanup too

# --- certificates: nothing of it is kept past the run
mkdir -p "$certs" && cd "$certs" || exit 1
ossl() { openssl "$@" >/dev/null 2>&1 || { echo "openssl $1 failed" >&2; exit 1; }; }
make_ca() {  # make_ca NAME
    ossl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3 \
        -subj "/CN=GNLauncher test $1" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign
}
make_server() {  # make_server NAME CA DAYS SUBJECT-ALT-NAMES (DAYS -1: expired yesterday)
    ossl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1"
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$4" >"$1.ext"
    ossl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days "$3" \
        -extfile "$1.ext" -out "$1.pem"
}
make_ca ca
make_ca rogue
make_server trusted ca 2 "DNS:localhost,IP:127.0.0.1"
make_server expired ca -1 "DNS:localhost,IP:127.0.0.1"
make_server wronghost ca 2 "DNS:elsewhere.invalid"
make_server untrusted rogue 2 "DNS:localhost,IP:127.0.0.1"
cd "$GN_WORK" || exit 1

# --- trust: the system bundle and the test CA, in this namespace only
cat "$system_bundle" "$certs/ca.pem" >"$GN_WORK/bundle.crt"
mount --bind "$GN_WORK/bundle.crt" "$system_bundle" || { echo "cannot bind the bundle" >&2; exit 1; }
check "the test CA is trusted in the namespace only" grep -qF "$(sed -n 2p "$certs/ca.pem")" "$system_bundle"

# A wineserver of this prefix left outside the namespace would serve the wrong trust.
wineserver -k 2>/dev/null; timeout 30 wineserver -w 2>/dev/null
gn_prefix_start
check "regsvr32 registers GNLauncher.dll and gnclients.dll" gn_register
temp_dir="$(gn_temp_dir)"
[ -n "$temp_dir" ] && rm -f "$temp_dir"/DZ*.tmp

# One TLS document server per certificate, all at once; prints the port.
# "stalled" refuses like "untrusted" (the binding connects twice), then holds
# the third connection silent: the launcher's own question about the
# certificate gets no answer; and so on for every document.
tls_server() {  # tls_server NAME
    local out="$GN_WORK/server-$1.out" i port cert="$1" extra=()
    [ "$1" = stalled ] && cert=untrusted extra=(--stall-every 3 --stall-seconds 8)
    python3 "$GN_HERE/tools/docserver.py" --root "$GN_HERE/samples" --port 0 --timeout 300 \
        --tls "$certs/$cert.pem" "$certs/$cert.key" --log "$GN_WORK/server-$1.log" "${extra[@]}" \
        >"$out" 2>&1 </dev/null &
    server_pids+=($!)
    for i in $(seq 100); do
        port="$(awk '$1 == "PORT" { print $2; exit }' "$out" 2>/dev/null)"
        [ -n "$port" ] && { echo "$port"; return 0; }
        sleep 0.1
    done
    echo "the TLS server $1 did not start: $(cat "$out")" >&2
    exit 1
}
doc() { echo "https://localhost:$1/quarterly.dzy"; }
# Ports are taken here, in the main shell, so that server_pids keeps them.
declare -A port
for name in trusted expired wronghost untrusted stalled; do
    tls_server "$name" >"$GN_WORK/port-$name" || exit 1
    port[$name]="$(cat "$GN_WORK/port-$name")"
done

# --- browsers, trusted certificate
sample="$GN_HERE/samples/quarterly.dzy"
shown="PluginCtl Document Quarterly sales report 2023 | 5 columns | 8 rows | $(stat -c %s "$sample") bytes"
url="$(doc "${port[trusted]}")"
run() {  # run BROWSER URL
    echo "=== $1 $2"
    check "an outcome within 45 s" gn_browse "$1" "$2" 45
    gn_close_browser "$1"
    check "no DZ*.tmp is left once the browser is closed" test -z "$(gn_temp_files)"
    [ -n "$temp_dir" ] && rm -f "$temp_dir"/DZ*.tmp
}
run viewer "$url"
check "the launcher downloaded it" has launcher.log "OnStopBinding: Data downloaded successfully"
check "the plugin got it" has calls.txt "PluginCtl OnDZxDataAvailable $url | "
check "and showed it whole" has calls.txt "$shown"
[ "$failures" -eq 0 ] || show

run iexplore "$url"
check "the launcher got it from iexplore" has launcher.log "Gotten Url: $url"
check "and downloaded it" has launcher.log "OnStopBinding: Data downloaded successfully"
check "the plugin showed it" has calls.txt "$shown"
[ "$failures" -eq 0 ] || show

# --- the launcher's own cases, through a browser container and the plugin
echo "=== test_launcher.exe HTTPS cases"
GN_HTTPS_TRUSTED="$(doc "${port[trusted]}")" GN_HTTPS_EXPIRED="$(doc "${port[expired]}")" \
GN_HTTPS_WRONG_HOST="$(doc "${port[wronghost]}")" GN_HTTPS_UNTRUSTED="$(doc "${port[untrusted]}")" \
GN_HTTPS_STALLED="$(doc "${port[stalled]}")" \
    timeout 150 "$GN_WINE" "$GN_BUILD/bin/test_launcher.exe" \
    '--gtest_filter=EndToEnd.Https*:EndToEnd.SecureLegacy*:*/HttpsCertificate.*' \
    </dev/null >"$GN_WORK/gtest.out" 2>&1
gtest_rc=$?
grep -E '^\[ +(OK|FAILED|SKIPPED) +\]' "$GN_WORK/gtest.out"
check "the launcher's HTTPS cases pass" test "$gtest_rc" -eq 0
check "none of them was skipped" bash -c "! grep -q '^\[  SKIPPED \]' '$GN_WORK/gtest.out'"
[ "$gtest_rc" -eq 0 ] || cat "$GN_WORK/gtest.out"
gn_register >/dev/null  # the test program unregistered the client controls at its end


# --- a legacy-server password cookie, Secure, set by the TLS server itself
echo "=== Secure legacy cookie"
( cd "$GN_BUILD/bin" && timeout 60 "$GN_WINE" regsvr32 /s gnclients.dll </dev/null >/dev/null 2>&1 )  # the legacy control
gn_docserver_start "$GN_HERE/samples" --tls "$certs/trusted.pem" "$certs/trusted.key" \
    --cookie "QUORPASSWORD=secret; Secure; HttpOnly; path=/" || exit 1
run iexplore "$(doc "$GN_PORT")"
check "the launcher saw the cookie" has launcher.log "Got cookie: QUORPASSWORD=***"
check "and took the legacy server's road" has launcher.log "** 6x DZY stream detected"
check "the legacy control got the URL" has calls.txt "Legacy6x SRC $(doc "$GN_PORT")"
check "the value never reached the log" bash -c "! grep -q secret '$GN_WORK/launcher.log'"
[ "$failures" -eq 0 ] || show

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
