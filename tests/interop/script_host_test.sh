#!/usr/bin/env bash
# A web page's view of the version service: GNLauncher.dll and the reference
# client registered by regsvr32 in a prefix of this test's own (of the build
# tree's flavor), then scripted from JScript in Wine's cscript through new
# ActiveXObject, as a page would. The client's version is read; an over-long
# URL must come back as E_INVALIDARG with nothing written to the URL map.
# In a 64-bit tree, given the 32-bit tree as well, both flavors are
# registered side by side in the one prefix: the 64-bit cscript reaches the
# 64-bit module, the 32-bit one (syswow64) the 32-bit module, and each keeps
# working while the other is unregistered.
# Usage: script_host_test.sh SOURCE_DIR BUILD_DIR [BUILD_DIR_OF_THE_32_BIT_FLAVOR]
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2" GN_BUILD32="${3:-}"
GN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/gnscript.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-script" null
MAP_KEY='HKCU\Software\Quor Software\QuorPlugin\quorqry\6x-8x URL Map'

. "$GN_HERE/tests/support/checks.sh"
cleanup() {
    regsvr "$GN_BUILD" regsvr32 /u GNLauncher.dll gnclients.dll
    [ "$WINEARCH" = win64 ] && [ -n "$GN_BUILD32" ] && regsvr "$GN_BUILD32" "$REGSVR32_WOW" /u GNLauncher.dll gnclients_v8_0.dll
    gn_prefix_stop
    rm -rf "$GN_WORK"
}
trap cleanup EXIT

REGSVR32_WOW='C:\windows\syswow64\regsvr32.exe' CSCRIPT_WOW='C:\windows\syswow64\cscript.exe'
# Registers (or with /u unregisters) DLLs of a build tree's bin folder.
regsvr() {  # regsvr BUILD_DIR TOOL [/u] DLL...
    local dir="$1/bin" tool="$2" undo="" dll
    shift 2
    [ "${1:-}" = /u ] && { undo=/u; shift; }
    for dll in "$@"; do
        (cd "$dir" && timeout 60 "$GN_WINE" "$tool" /s $undo "$dll" </dev/null >/dev/null 2>&1) || return 1
    done
}

# Runs a JScript file with cscript (or $CSCRIPT); its output lands in $GN_WORK/$1.out.
script() {  # script NAME  (reads the script text from stdin)
    cat >"$GN_WORK/$1.js"
    export GNLAUNCHERLOG
    GNLAUNCHERLOG="$(gn_winpath "$GN_WORK/launcher.log")"
    timeout 60 "$GN_WINE" "${CSCRIPT:-cscript}" //nologo "$(gn_winpath "$GN_WORK/$1.js")" </dev/null \
        >"$GN_WORK/$1.out" 2>&1
    tr -d '\r' <"$GN_WORK/$1.out" >"$GN_WORK/$1.txt"
}
# The client version as a page reads it, by the default or the given cscript.
version_script() {  # version_script NAME [CSCRIPT]
    CSCRIPT="${2:-cscript}" script "$1" <<'JS'
try { WScript.Echo("version " + new ActiveXObject("DZxLauncher.MorvaneVersion").GetClientVersion()); }
catch (e) { WScript.Echo("error " + (e.number >>> 0).toString(16)); }
JS
}
said() { grep -qxF -- "$2" "$GN_WORK/$1.txt"; }
no_map() { ! timeout 30 "$GN_WINE" reg query "$MAP_KEY" </dev/null >/dev/null 2>&1; }
mapped() { timeout 30 "$GN_WINE" reg query "$MAP_KEY" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | grep -qF "$2"; }

gn_prefix_start
timeout 30 "$GN_WINE" reg delete "$MAP_KEY" /f </dev/null >/dev/null 2>&1
check "regsvr32 registers GNLauncher.dll and gnclients.dll ($WINEARCH)" \
    regsvr "$GN_BUILD" regsvr32 GNLauncher.dll gnclients.dll
version_script version
check "the page reads the client's version" said version "version 8.2.1.45"

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
timeout 30 "$GN_WINE" reg delete "$MAP_KEY" /f </dev/null >/dev/null 2>&1

# Both flavors side by side: the 32-bit module with the older reference
# client (8.0.0.112) in the 32-bit view, the 64-bit one with 8.2.1.45.
if [ "$WINEARCH" != win64 ]; then
    :
elif [ -z "$GN_BUILD32" ] || [ ! -f "$GN_BUILD32/bin/GNLauncher.dll" ]; then
    echo "skip the side-by-side cases: no 32-bit build tree given (tools/test builds both)"
else
    check "the 32-bit regsvr32 registers the 32-bit GNLauncher.dll and gnclients_v8_0.dll" \
        regsvr "$GN_BUILD32" "$REGSVR32_WOW" GNLauncher.dll gnclients_v8_0.dll
    version_script both64
    check "the 64-bit cscript reads 8.2.1.45 through the 64-bit module" said both64 "version 8.2.1.45"
    version_script both32 "$CSCRIPT_WOW"
    check "the 32-bit cscript reads 8.0.0.112 through the 32-bit module" said both32 "version 8.0.0.112"

    check "the 32-bit module unregisters" regsvr "$GN_BUILD32" "$REGSVR32_WOW" /u GNLauncher.dll
    version_script after32
    check "and the 64-bit one still works" said after32 "version 8.2.1.45"
    version_script gone32 "$CSCRIPT_WOW"
    check "while the 32-bit view has it no more" said gone32 "error 800a01ad"

    regsvr "$GN_BUILD32" "$REGSVR32_WOW" GNLauncher.dll
    check "the 64-bit module unregisters" regsvr "$GN_BUILD" regsvr32 /u GNLauncher.dll
    version_script after64 "$CSCRIPT_WOW"
    check "and the 32-bit one still works" said after64 "version 8.0.0.112"
    version_script gone64
    check "while the 64-bit view has it no more" said gone64 "error 800a01ad"
fi

if [ "$failures" -ne 0 ]; then
    for f in version refused accepted both64 both32 after32 gone32 after64 gone64; do echo "--- $f"; cat "$GN_WORK/$f.out" 2>/dev/null; done
    echo "--- launcher log"; head -c 4000 "$GN_WORK/launcher.log" 2>/dev/null
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
