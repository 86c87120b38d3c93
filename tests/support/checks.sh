# Sourced by the test scripts that drive whole programs: one line per
# expectation ("ok" or "FAIL"), counted in failures, and the run's records
# (below GN_WORK) shown after a failure.
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what="$1"; shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
has() { grep -qF -- "$2" "$GN_WORK/$1" 2>/dev/null; }  # has FILE TEXT
show() {
    echo "--- launcher log"; cat "$GN_WORK/launcher.log" 2>/dev/null
    echo "--- call record"; cat "$GN_WORK/calls.txt" 2>/dev/null
    echo "--- viewer record"; cat "$GN_WORK/viewer.txt" 2>/dev/null
    [ -f "$GN_WORK/docserver.log" ] && { echo "--- server log"; cat "$GN_WORK/docserver.log"; }
    return 0
}
