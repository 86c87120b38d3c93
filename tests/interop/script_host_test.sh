#!/usr/bin/env bash
# A web page's view of the version service: GNLauncher.dll registered by
# regsvr32 in a 32-bit prefix of this test's own, then scripted from JScript
# in Wine's cscript through new ActiveXObject, as a page would. An over-long
# URL must come back as E_INVALIDARG with nothing written to the URL map.
# Usage: script_host_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2"
GN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/gnscript.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-script" null
MAP_KEY='HKCU\Software\Quor Software\QuorPlugin\quorqry\6x-8x URL Map'

. "$GN_HERE/tests/support/checks.sh"
cleanup() {
    (cd "$GN_BUILD/bin" && timeout 60 wine regsvr32 /s /u GNLauncher.dll </dev/null >/dev/null 2>&1)
    gn_prefix_stop
    rm -rf "$GN_WORK"
}
trap cleanup EXIT

# Runs a JScript file with cscript; its output lands in $GN_WORK/$1.out.
script() {  # script NAME  (reads the script text from stdin)
    cat >"$GN_WORK/$1.js"
    export GNLAUNCHERLOG
    GNLAUNCHERLOG="$(gn_winpath "$GN_WORK/launcher.log")"
    timeout 60 wine cscript //nologo "$(gn_winpath "$GN_WORK/$1.js")" </dev/null \
        >"$GN_WORK/$1.out" 2>&1
    tr -d '\r' <"$GN_WORK/$1.out" >"$GN_WORK/$1.txt"
}
said() { grep -qxF -- "$2" "$GN_WORK/$1.txt"; }
no_map() { ! timeout 30 wine reg query "$MAP_KEY" </dev/null >/dev/null 2>&1; }
mapped() { timeout 30 wine reg query "$MAP_KEY" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | grep -qF "$2"; }

gn_prefix_start
timeout 30 wine reg delete "$MAP_KEY" /f </dev/null >/dev/null 2>&1
check "regsvr32 registers GNLauncher.dll" \
    bash -c "cd '$GN_BUILD/bin' && timeout 60 wine regsvr32 /s GNLauncher.dll </dev/null >/dev/null 2>&1"

script refused <<'JS'
var v = new ActiveXObject("DZxLauncher.MorvaneVersion");
var url = "http://old/";
while (url.length < 3000) url += "x";
function call(a, b) {
    try { v.Map6xUrlTo8(a, b); return "S_OK"; }
    catch (e) { return "error " + (e.number >>> 0).toString(16); }
}
WScript.Echo("old " + call(url, "http://new/a.dzy"));
WScript.Echo("new " + call("http://old/a.dzy", url));
JS
check "a 3000-character old URL gives E_INVALIDARG" said refused "old error 80070057"
check "a 3000-character new URL gives E_INVALIDARG" said refused "new error 80070057"
check "nothing was written to the URL map" no_map
check "the log says why" grep -qF "Map6xUrlTo8(): URL longer than 2083 characters refused" \
    "$GN_WORK/launcher.log"
check "the log stays small" test "$(stat -c %s "$GN_WORK/launcher.log")" -lt 8192

script accepted <<'JS'
var v = new ActiveXObject("DZxLauncher.MorvaneVersion");
v.Map6xUrlTo8("http://old/ok.dzy", "http://new/ok.dzy");
WScript.Echo("done");
JS
check "an ordinary mapping from the same host succeeds" said accepted "done"
check "and is in the map" mapped "http://old/ok.dzy" "http://new/ok.dzy"
timeout 30 wine reg delete "$MAP_KEY" /f </dev/null >/dev/null 2>&1

if [ "$failures" -ne 0 ]; then
    for f in refused accepted; do echo "--- $f"; cat "$GN_WORK/$f.out" 2>/dev/null; done
    echo "--- launcher log"; head -c 4000 "$GN_WORK/launcher.log" 2>/dev/null
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
