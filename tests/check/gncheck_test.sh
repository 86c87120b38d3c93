#!/usr/bin/env bash
# gncheck.exe against faults made by hand in one prefix of the tree's flavor:
# the DLLs and the reference clients copied to C:\gncheck and registered by
# regsvr32 (in a 64-bit tree given the 32-bit tree, both flavors, the 32-bit
# one from C:\gncheck32), then one fault per case, each undone before the
# next. Every case runs gncheck --json, whose output must be valid JSON,
# with the expected exit code and the fault and its fix named.
# Usage: gncheck_test.sh SOURCE_DIR BUILD_DIR [BUILD_DIR_OF_THE_32_BIT_FLAVOR]
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2" GN_BUILD32="${3:-}"
GN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/gncheck.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
. "$GN_HERE/tests/support/checks.sh"
gn_prefix_env "$GN_BUILD/wineprefix-check" null
unset GNLAUNCHERLOG
trap 'gn_prefix_stop; rm -rf "$GN_WORK"' EXIT

L='{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}' PLUGIN='{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}'
LEGACY='{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}' ILAUNCHER='{6F3B9D21-4E1A-11D5-A7C3-0050DA6E1B42}'
LIB='HKCR\TypeLib\{C8E2F4A1-5D07-4B3C-9F62-81A7D3E0B5C9}\1.0'
SITES='HKLM\Software\Policies\Quor Software\GNLauncher\VersionService\AllowedSites'
KILL="HKLM\\Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\$LEGACY"
if [ "$WINEARCH" = win64 ]; then BITS=64 OTHER=32; else BITS=32 OTHER=; fi
[ -n "$GN_BUILD32" ] && [ "$BITS" = 64 ] && [ -f "$GN_BUILD32/bin/gncheck.exe" ] && OTHER=32 || OTHER=
WOW='C:\windows\syswow64\regsvr32.exe'

reg() { timeout 30 "$GN_WINE" reg "$@" "/reg:$BITS" </dev/null >/dev/null 2>&1; }
reg_other() { timeout 30 "$GN_WINE" reg "$@" "/reg:32" </dev/null >/dev/null 2>&1; }
# Registers the copies (of both flavors; or those named, as 64:DLL or 32:DLL),
# which mends every registry fault below.
register() {
    local item ok=0
    [ $# -gt 0 ] || set -- "$BITS:GNLauncher.dll" "$BITS:gnclients.dll" ${OTHER:+32:GNLauncher.dll 32:gnclients.dll}
    for item in "$@"; do
        if [ "${item%%:*}" = "$BITS" ]; then
            timeout 60 "$GN_WINE" regsvr32 /s "C:\\gncheck\\${item#*:}" </dev/null >/dev/null 2>&1 || ok=1
        else
            timeout 60 "$GN_WINE" "$WOW" /s "C:\\gncheck32\\${item#*:}" </dev/null >/dev/null 2>&1 || ok=1
        fi
    done
    return $ok
}
# Runs gncheck (the tree's, or $2's) with --json and more arguments; keeps
# its exit code and its findings, one line each ("VERDICT check: why | fix").
run() {  # run NAME [EXE_FOLDER] [ARGS...]
    local name="$1" folder="${2:-C:\\gncheck}"
    shift 2 2>/dev/null || shift
    (cd "$GN_WORK" && timeout 60 "$GN_WINE" "$folder\\gncheck.exe" --json "$@" </dev/null \
        >"$name.json" 2>/dev/null)
    echo $? >"$GN_WORK/$name.rc"
    python3 -m json.tool "$GN_WORK/$name.json" >/dev/null 2>&1 && echo valid >"$GN_WORK/$name.valid"
    python3 -c 'import json,sys
for c in json.load(open(sys.argv[1]))["checks"]:
    print("%s %s: %s | %s" % (c["verdict"], c["check"], c["why"], c["fix"] or ""))' \
        "$GN_WORK/$name.json" >"$GN_WORK/$name.txt" 2>/dev/null
}
# expect NAME EXIT TEXT...: the exit code, valid JSON, and each text in a finding.
expect() {
    local name="$1" code="$2" text ok=0
    shift 2
    [ "$(cat "$GN_WORK/$name.rc")" = "$code" ] && [ -f "$GN_WORK/$name.valid" ] || ok=1
    for text in "$@"; do grep -qF -- "$text" "$GN_WORK/$name.txt" || ok=1; done
    [ $ok = 0 ] || { echo "--- $name (exit $(cat "$GN_WORK/$name.rc"))"; cat "$GN_WORK/$name.txt"; }
    grep -m1 -E '^(PROBLEM|WARNING)' "$GN_WORK/$name.txt" | sed "s/^/     $name: /"
    return $ok
}

gn_prefix_start
C="$WINEPREFIX/drive_c"
rm -rf "$C/gncheck" "$C/gncheck32" "$C/gone"
mkdir -p "$C/gncheck" && cp "$GN_BUILD"/bin/{GNLauncher.dll,gnclients.dll,gncheck.exe} "$C/gncheck/"
[ -z "$OTHER" ] || { mkdir -p "$C/gncheck32" && cp "$GN_BUILD32"/bin/{GNLauncher.dll,gnclients.dll,gncheck.exe} "$C/gncheck32/"; }
TEMP_DIR="$(gn_temp_dir)"
rm -f "$TEMP_DIR"/DZ*.tmp
check "regsvr32 registers both DLLs ($WINEARCH${OTHER:+, both flavors})" register

run healthy
version="$(python3 "$GN_HERE/installer/dll_version.py" "$GN_BUILD/bin/GNLauncher.dll")"
check "a healthy install is all OK" expect healthy 0 "OK launcher class ($BITS-bit view): registered: C:\\gncheck\\GNLauncher.dll, version $version"
if [ -n "$OTHER" ]; then
    run healthy32 'C:\gncheck32'
    check "... and so for the 32-bit program, both views" expect healthy32 0 "OK launcher class (64-bit view)" "OK main plugin (32-bit view)"
    reg_other delete "HKCR\\Interface\\$ILAUNCHER" /f
    run interfaces
    check "the other flavor's interface keys removed" expect interfaces 2 \
        "PROBLEM interfaces (32-bit view): ILauncher missing | C:\\windows\\SysWOW64\\regsvr32.exe \"C:\\gncheck32\\GNLauncher.dll\""
else
    reg delete "HKCR\\Interface\\$ILAUNCHER" /f
    run interfaces
    check "the interface keys removed" expect interfaces 2 \
        "PROBLEM interfaces ($BITS-bit view): ILauncher missing | " "\"C:\\gncheck\\GNLauncher.dll\""
fi
register "${OTHER:-$BITS}:GNLauncher.dll"

reg add "$LIB\\HELPDIR" /ve /d 'C:\gone\' /f
run helpdir
check "HELPDIR naming a removed folder" expect helpdir 2 "PROBLEM type library ($BITS-bit view): HELPDIR names a folder that is gone: C:\\gone\\ |" \
    "GNLauncher.dll\""
reg add "$LIB\\HELPDIR" /ve /d "C:\\gncheck${OTHER}\\" /f

mv "$C/gncheck/GNLauncher.dll" "$C/gncheck/GNLauncher.dll.away"
run dll_gone
mv "$C/gncheck/GNLauncher.dll.away" "$C/gncheck/GNLauncher.dll"
check "the DLL's file deleted" expect dll_gone 2 "PROBLEM launcher class ($BITS-bit view): registered, but its file is gone: C:\\gncheck\\GNLauncher.dll | "

reg delete "HKCR\\CLSID\\$PLUGIN" /f
[ -z "$OTHER" ] || reg_other delete "HKCR\\CLSID\\$PLUGIN" /f
run no_plugin
check "the main plugin not registered" expect no_plugin 2 "PROBLEM main plugin ($BITS-bit view): not registered: documents cannot open | install or repair the QuorQuery client (8.x), $BITS-bit"
[ -z "$OTHER" ] || register 32:gnclients.dll

if [ -n "$OTHER" ]; then
    reg delete "HKCR\\CLSID\\$PLUGIN" /f
    run client32
    check "a 32-bit client only, for the 64-bit flavor" expect client32 2 "PROBLEM main plugin (64-bit view): registered in the 32-bit view only: 64-bit browsers cannot open documents"
else
    # A client file of the other machine: a PE header with the other machine field.
    python3 -c 'import sys; h=bytearray(0x100); h[0:2]=b"MZ"; h[0x3C]=0x80; h[0x80:0x84]=b"PE\0\0"
h[0x84:0x86]=(0x8664 if sys.argv[2]=="32" else 0x14C).to_bytes(2,"little"); open(sys.argv[1],"wb").write(h)' \
        "$C/gncheck/client.dll" "$BITS"
    reg add "HKCR\\CLSID\\$PLUGIN\\InprocServer32" /ve /d 'C:\gncheck\client.dll' /f
    run client64
    check "a client of the other bitness" expect client64 2 "PROBLEM main plugin ($BITS-bit view): a $((96 - BITS))-bit file in the $BITS-bit view"
fi
register "$BITS:gnclients.dll"

reg add "$KILL" /v "Compatibility Flags" /t REG_DWORD /d 0x400 /f
run killbit
reg delete "$KILL" /f
check "a kill bit on the legacy control" expect killbit 1 "WARNING legacy control ($BITS-bit view): blocked by the administrator" "/v \"Compatibility Flags\" /f"

reg add 'HKCR\.dzy' /ve /d Other.Document /f && reg add 'HKCR\Other.Document' /ve /d 'Other Program Document' /f &&
    reg add 'HKCR\Other.Document\CLSID' /ve /d "$L" /f
run foreign
reg add 'HKCR\.dzy' /ve /d dzyfile /f && reg delete 'HKCR\Other.Document' /f
check "a foreign .dzy association" expect foreign 1 "WARNING foreign .dzy association ($BITS-bit view): .dzy belongs to another program's type \"Other.Document\" (Other Program Document)" \
    "| reg add HKCR\\.dzy /ve /d dzyfile /f && "

reg add "$SITES" /v intranet /d intranet.example.test /f
run url "" --url http://pages.example.test/report.html
reg delete "${SITES%\\*}" /f
check "AllowedSites refusing a --url" expect url 1 "WARNING page http://pages.example.test/report.html: zone Internet: not on AllowedSites, it may change only mappings of its own host pages.example.test | reg add \"$SITES\" /v pages.example.test"

touch -d '3 days ago' "$TEMP_DIR/DZ1.tmp" && touch -d '2 hours ago' "$TEMP_DIR/DZ2.tmp"
run stale
rm -f "$TEMP_DIR"/DZ*.tmp
check "stale DZ*.tmp files" expect stale 1 "WARNING temp folder: 2 DZ*.tmp file(s) left in" "the oldest 3 days old | close every browser, then: del"

run healthy_again
check "every fault undone: all OK again" expect healthy_again 0
check "gncheck changed nothing it reads: no file left in the temp folder" \
    bash -c '[ -z "$(find "$1" -maxdepth 1 -name "gncheck*" -print -quit)" ]' _ "$TEMP_DIR"
exit $((failures > 0))
