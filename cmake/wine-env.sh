# Sourced by the wine wrappers: the private 32-bit prefix of a build tree.
# WINE_BUILD_DIR must name the build tree.
export WINEPREFIX="${WINE_BUILD_DIR}/wineprefix"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

wine_prefix_ready() {
    [ -f "$WINEPREFIX/.gn-ready" ]
}

wine_prefix_create() {
    if wine_prefix_ready; then return 0; fi
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.gn-ready"
}
