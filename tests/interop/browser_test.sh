#!/usr/bin/env bash
# Opens the bundled sample in Wine's iexplore (over loopback http and as a
# file URL) and in gnviewer.exe, and checks from the launcher's log and the
# plugin's call record that the launcher was created, downloaded the
# document, started the current client in its window, and that no temp file
# is left once the browser is closed; in the viewer, whose property bag
# works, the plugin gets OnDZxDataAvailable with the whole file.
# Usage: browser_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2"
GN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/gninterop.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-interop" null

. "$GN_HERE/tests/support/checks.sh"
cleanup() {
    gn_close_browser iexplore >/dev/null 2>&1
    gn_docserver_stop
    gn_prefix_stop
    rm -rf "$GN_WORK"
}
trap cleanup EXIT

sample="$GN_HERE/samples/quarterly.dzy"
shown="PluginCtl Document Quarterly sales report 2023 | 5 columns | 8 rows | $(stat -c %s "$sample") bytes"

gn_prefix_start
check "regsvr32 registers GNLauncher.dll and gnclients.dll" gn_register
temp_dir="$(gn_temp_dir)"
[ -n "$temp_dir" ] && rm -f "$temp_dir"/DZ*.tmp
gn_docserver_start "$GN_HERE/samples" || exit 1

# One document in one browser: the outcome, then a deliberate close.
run() {  # run BROWSER URL
    local browser="$1" url="$2"
    echo "=== $browser $url"
    check "an outcome within 45 s" gn_browse "$browser" "$url" 45
    gn_close_browser "$browser"
    check "the browser closed on WM_CLOSE" test "$GN_CLOSED" = closed
    local left
    left="$(gn_temp_files)"
    check "no DZ*.tmp is left once the browser is closed" test -z "$left"
    [ -z "$left" ] || rm -f "$temp_dir"/DZ*.tmp
}

# Common to every road where the browser hands the document to the launcher.
launcher_road() {  # launcher_road URL-AS-THE-LAUNCHER-SEES-IT
    check "the launcher was created and loaded" has launcher.log "Gotten Url: $1"
    check "it downloaded into a temp file" has launcher.log "Creating temp file: "
    check "the download ended well" has launcher.log "OnStopBinding: Data downloaded successfully"
    check "it started the current client" has launcher.log "** Opening document with Morvane 8x"
    check "the client was created" has calls.txt "PluginCtl Created"
    check "in place in the launcher's window" has calls.txt "PluginCtl InPlaceActive "
    check "with the URL as SRC" has calls.txt "PluginCtl SRC $1"
}

http_url="http://127.0.0.1:$GN_PORT/quarterly.dzy"
run iexplore "$http_url"
launcher_road "$http_url"
check "no property bag in iexplore: the plugin opens SRC itself" \
    has calls.txt "PluginCtl Fallback no launcher: opening SRC itself"
check "and shows the document" has calls.txt "$shown"
[ "$failures" -eq 0 ] || show

file_url="file:///Z:$sample"
run iexplore "$file_url"
launcher_road "file://$(gn_winpath "$sample")"
check "the file URL needs no choice without the legacy client" \
    has launcher.log "Morvane 6x not detected in the system."
check "the plugin shows the file" has calls.txt "$shown"
[ "$failures" -eq 0 ] || show

run iexplore "http://127.0.0.1:$GN_PORT/missing.dzy"
check "a 404 ends the launcher's download as a failure" has launcher.log "error=HTTP 404 Not Found"
check "and the plugin shows the failure" has calls.txt "PluginCtl Open 0x800C0006 the server answered HTTP 404 Not Found"
[ "$failures" -eq 0 ] || show

run viewer "$http_url"
launcher_road "$http_url"
check "the plugin subscribed" has calls.txt "PluginCtl Advise 0x00000000"
check "OnDZxDataAvailable came" has calls.txt "PluginCtl OnDZxDataAvailable $http_url | "
check "the file was read during the call" has calls.txt "PluginCtl Read 0x00000000"
check "and was whole" has calls.txt "$shown"
check "the launcher could unload afterwards" has viewer.txt "can_unload 0x00000000"
[ "$failures" -eq 0 ] || show

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
