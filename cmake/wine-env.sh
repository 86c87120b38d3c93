# Sourced by the wine wrappers: the private prefix of a build tree, 32-bit or
# 64-bit as the tree's flavor (the file wine-arch, written at configure time).
# WINE_BUILD_DIR must name the build tree.
export WINEPREFIX="${WINE_BUILD_DIR}/wineprefix"
WINEARCH="$(cat "${WINE_BUILD_DIR}/wine-arch" 2>/dev/null || echo win32)"
export WINEARCH
# The loader of the prefix's own programs: Debian's "wine" is the 32-bit one,
# which starts the 32-bit tools (cmd, reg, regsvr32, cscript, iexplore) even
# in a 64-bit prefix.
GN_WINE=wine
if [ "$WINEARCH" = win64 ]; then
    for GN_WINE in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine; do
        [ -n "$GN_WINE" ] && command -v "$GN_WINE" >/dev/null && break
    done
fi
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
