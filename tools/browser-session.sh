# Sourced by tools/open and tests/interop: one document opened in a browser
# (Wine's iexplore or gnviewer.exe) in a private Wine prefix of the build
# tree's flavor (32-bit, or 64-bit with both registry views), with the
# launcher's log and the client controls' call record watched, and every
# process, server and temp file it made taken away again.
#
# Set before use: GN_HERE (source tree), GN_BUILD (build tree, built),
# GN_WORK (a scratch folder of this run). Every wait below is bounded.

GN_DOCSERVER_PID=""
GN_BROWSER_PID=""
GN_PORT=""
GN_LEGACY_KEY='HKCR\CLSID\{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}'

# The Windows name of a Unix path, through the prefix's Z: drive.
gn_winpath() {
    local p="$1"
    printf 'Z:%s' "${p//\//\\}"
}

# Exports the environment of a prefix. $1: prefix folder, $2: null or x11.
# WINEARCH and the loader of the prefix's programs ("$GN_WINE") follow the
# build tree's flavor (cmake/wine-env.sh).
gn_prefix_env() {
    local display="${DISPLAY:-}"
    # shellcheck source=../cmake/wine-env.sh
    WINE_BUILD_DIR="$GN_BUILD" . "$GN_HERE/cmake/wine-env.sh"
    export WINEPREFIX="$1" WINEDEBUG=-all
    GN_DRIVER="$2"
    [ "$GN_DRIVER" = x11 ] && [ -n "$display" ] && export DISPLAY="$display"
    return 0
}

# Creates the prefix on first use (some seconds) and starts its wineserver.
gn_prefix_start() {
    if [ ! -f "$WINEPREFIX/.gn-ready" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 180 wineboot -i >/dev/null 2>&1 || true
        if [ "$GN_DRIVER" = x11 ]; then
            # No window manager runs on a bare X server: Wine draws the frames.
            "$GN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
        else
            "$GN_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        fi
        timeout 60 wineserver -w || true
        touch "$WINEPREFIX/.gn-ready"
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 120 "$GN_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

# Ends every process of the prefix and its wineserver.
gn_prefix_stop() {
    wineserver -k 2>/dev/null || true
    timeout 30 wineserver -w 2>/dev/null || true
}

# The prefix's temporary folder, where the launcher keeps its DZ*.tmp files.
gn_temp_dir() {
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/Temp; do
        if [ -d "$d" ]; then printf '%s' "$d"; return 0; fi
    done
    return 0
}

gn_temp_files() {
    local d
    d="$(gn_temp_dir)"
    [ -n "$d" ] && find "$d" -maxdepth 1 -name 'DZ*.tmp' -printf '%f\n' 2>/dev/null | sort
    return 0
}

# Registers GNLauncher.dll and the reference controls as an installer would.
# The legacy control is taken out again, so that file URLs open with the
# current client without asking which one.
gn_register() {
    local dll
    for dll in GNLauncher.dll gnclients.dll; do
        if ! (cd "$GN_BUILD/bin" && timeout 60 "$GN_WINE" regsvr32 /s "$dll" </dev/null >/dev/null 2>&1); then
            echo "regsvr32 $dll failed" >&2
            return 1
        fi
    done
    timeout 60 "$GN_WINE" reg delete "$GN_LEGACY_KEY" /f </dev/null >/dev/null 2>&1 || true
}

# Starts the loopback document server on a free port of 127.0.0.1; further
# arguments go to the server (--tls CERT KEY, --cookie TEXT).
gn_docserver_start() {
    local root="$1" i
    shift
    rm -f "$GN_WORK/docserver.out"
    python3 "$GN_HERE/tools/docserver.py" --root "$root" --port 0 --timeout 300 \
        --log "$GN_WORK/docserver.log" "$@" >"$GN_WORK/docserver.out" 2>&1 </dev/null &
    GN_DOCSERVER_PID=$!
    for i in $(seq 100); do
        GN_PORT="$(awk '$1 == "PORT" { print $2; exit }' "$GN_WORK/docserver.out" 2>/dev/null)"
        [ -n "$GN_PORT" ] && return 0
        kill -0 "$GN_DOCSERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the document server did not start" >&2
    return 1
}

gn_docserver_stop() {
    [ -n "$GN_DOCSERVER_PID" ] || return 0
    kill "$GN_DOCSERVER_PID" 2>/dev/null || true
    wait "$GN_DOCSERVER_PID" 2>/dev/null || true
    GN_DOCSERVER_PID=""
}

# True when the call record or the viewer shows how the document ended.
gn_outcome_seen() {
    grep -qE '^(PluginCtl|Legacy6x) (Document |Malformed |OnAbort |Open 0x8|Read 0x8)' \
        "$GN_WORK/calls.txt" 2>/dev/null
}

# Opens $2 in $1 (iexplore or viewer) with the log and record on, and waits
# at most $3 seconds for the outcome. The browser keeps running.
gn_browse() {
    local browser="$1" target="$2" limit="$3" i
    rm -f "$GN_WORK/launcher.log" "$GN_WORK/calls.txt" "$GN_WORK/viewer.txt"
    export GNLAUNCHERLOG GNCLIENTS_CALLS
    GNLAUNCHERLOG="$(gn_winpath "$GN_WORK/launcher.log")"
    GNCLIENTS_CALLS="$(gn_winpath "$GN_WORK/calls.txt")"
    if [ "$browser" = viewer ]; then
        (cd "$GN_BUILD/bin" && exec timeout 300 "$GN_WINE" gnviewer.exe "$target" \
            --record "$(gn_winpath "$GN_WORK/viewer.txt")" --close-after-ms 120000) \
            </dev/null >"$GN_WORK/browser.out" 2>&1 &
    else
        (cd "$GN_BUILD/bin" && exec timeout 300 "$GN_WINE" iexplore "$target") \
            </dev/null >"$GN_WORK/browser.out" 2>&1 &
    fi
    GN_BROWSER_PID=$!
    for i in $(seq $((limit * 5))); do
        gn_outcome_seen && return 0
        kill -0 "$GN_BROWSER_PID" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

# The browser's top-level window class.
gn_frame_class() {
    [ "$1" = viewer ] && echo GNViewerFrame || echo IEFrame
}

# Closes the browser deliberately (WM_CLOSE to its frame), by process id when
# it does not end within the time. Sets GN_CLOSED to how it ended.
gn_close_browser() {
    local browser="$1" i
    GN_CLOSED=""
    [ -n "$GN_BROWSER_PID" ] || return 0
    if kill -0 "$GN_BROWSER_PID" 2>/dev/null; then
        (cd "$GN_BUILD/bin" && timeout 30 "$GN_WINE" gnwindows.exe close "$(gn_frame_class "$browser")" 10000 \
            </dev/null >/dev/null 2>&1) || true
        for i in $(seq 100); do
            kill -0 "$GN_BROWSER_PID" 2>/dev/null || break
            sleep 0.1
        done
    fi
    if kill -0 "$GN_BROWSER_PID" 2>/dev/null; then
        kill "$GN_BROWSER_PID" 2>/dev/null || true
        GN_CLOSED="killed"
    else
        GN_CLOSED="closed"
    fi
    wait "$GN_BROWSER_PID" 2>/dev/null || true
    GN_BROWSER_PID=""
}

# Takes away launcher temp files not in the list $1 (taken before the run),
# printing their names; an orderly close leaves none.
gn_remove_new_temp_files() {
    local before="$1" f d
    d="$(gn_temp_dir)"
    for f in $(gn_temp_files); do
        if ! grep -qx "$f" <<<"$before"; then
            echo "$f"
            rm -f "$d/$f"
        fi
    done
}

# What happened, step by step, from the launcher's log and the call record.
gn_report() {
    local log="$GN_WORK/launcher.log" calls="$GN_WORK/calls.txt" viewer="$GN_WORK/viewer.txt"
    local line
    step() { printf '  %-11s %s\n' "$1" "$2"; }
    opt() { [ -z "$2" ] || step "$1" "$2"; }  # only when there is something to say
    # The first matching line, without the log's time stamp (never fails).
    first() {
        { grep -m1 -E "$1" "$2" 2>/dev/null || true; } |
            sed -E 's/^[A-Z][a-z]{2} [A-Z][a-z]{2} +[0-9]+ [0-9:]+ [0-9]+ +//'
    }
    if [ -s "$viewer" ]; then
        step viewer "$(first '^mime ' "$viewer" | cut -d' ' -f2-) -> class $(first '^class ' "$viewer" | cut -d' ' -f2-)"
    fi
    if [ ! -s "$log" ]; then
        step launcher "not created: the browser did not hand the document to GNLauncher"
    else
        step launcher "created; $(first 'Gotten Url' "$log")"
        line="$(first 'Creating temp file' "$log")"
        opt download "$line"
        line="$(first 'OnStopBinding: Data' "$log")"
        opt download "$line"
        line="$(first '6x (not )?detected|User.s choice' "$log")"
        opt choice "$line"
        line="$(first '\*\* Opening document with' "$log")"
        step client "${line:-no client started}"
        line="$(first 'Setting property' "$log")"
        [ -z "$line" ] || step properties "$line (the browser has no property bag)"
        line="$(first 'Calling back the main plugin' "$log")"
        opt callback "$line"
    fi
    if [ -s "$calls" ]; then
        line="$(first '^(PluginCtl|Legacy6x) InPlaceActive' "$calls")"
        [ -z "$line" ] || step hand-off "$line (in the launcher's window)"
        line="$(first '^PluginCtl Advise' "$calls")"
        opt advise "$line"
        line="$(first '^PluginCtl (OnDZxDataAvailable|OnAbort)' "$calls")"
        opt callback "$line"
        line="$(first '^PluginCtl Fallback' "$calls")"
        opt fallback "$line"
        line="$(first '^(PluginCtl|Legacy6x) Open ' "$calls")"
        opt open "$line"
        line="$(first '^(PluginCtl|Legacy6x) (Document|Malformed) ' "$calls")"
        opt shown "$line"
    else
        step client "no client control was created"
    fi
    unset -f step opt first
}
