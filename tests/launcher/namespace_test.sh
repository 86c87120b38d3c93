#!/usr/bin/env bash
# Runs the launcher cases that need the machine changed, in a private mount
# namespace so that nothing outside it changes: the prefix's temp folder gets
# a 1 MiB tmpfs of its own (a disk that fills up), and /etc/resolv.conf names
# a loopback resolver where nobody answers (an unknown host fails at once,
# without a packet leaving the machine). Wine's server opens the files, so a
# wineserver of this test's own prefix runs inside the namespace.
# Skipped (exit 77) without root or unshare.
# Usage: namespace_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
GN_HERE="$1" GN_BUILD="$2"

if [ -z "${GN_LAUNCHER_NAMESPACE:-}" ]; then
    skip() { echo "SKIP: $*"; exit 77; }
    [ "$(id -u)" -eq 0 ] || skip "needs root for a private mount namespace (unshare -m)"
    command -v unshare >/dev/null || skip "unshare is not installed"
    unshare -m true 2>/dev/null || skip "unshare -m is not permitted here"
    GN_LAUNCHER_NAMESPACE=1 exec timeout -k 10 280 unshare -m --propagation private bash "$0" "$@"
fi

# From here on: inside the private mount namespace.
GN_WORK="$(mktemp -d "$GN_BUILD/launcher-ns.XXXXXX")"
. "$GN_HERE/tools/browser-session.sh"
gn_prefix_env "$GN_BUILD/wineprefix-ns" null
cleanup() {
    gn_prefix_stop
    umount "$GN_WORK/small" 2>/dev/null
    umount /etc/resolv.conf 2>/dev/null
    rm -rf "$GN_WORK"
}
trap cleanup EXIT
trap "exit 1" TERM INT

mkdir -p "$GN_WORK/small"
mount -t tmpfs -o size=1m tmpfs "$GN_WORK/small" || { echo "cannot mount a tmpfs" >&2; exit 1; }
echo "nameserver 127.0.0.1" >"$GN_WORK/resolv.conf"
mount --bind "$GN_WORK/resolv.conf" /etc/resolv.conf || { echo "cannot bind resolv.conf" >&2; exit 1; }

wineserver -k 2>/dev/null; timeout 30 wineserver -w 2>/dev/null
gn_prefix_start
GN_SMALL_TEMP="$(gn_winpath "$GN_WORK/small")" GN_NO_DNS=1 \
    timeout 200 "$GN_WINE" "$GN_BUILD/bin/test_launcher.exe" \
    '--gtest_filter=Transfer.FullDisk*:Transfer.UnknownHost*' </dev/null >"$GN_WORK/gtest.out" 2>&1
rc=$?
cat "$GN_WORK/gtest.out"
if grep -q '^\[  SKIPPED \]' "$GN_WORK/gtest.out"; then echo "FAIL a case was skipped"; rc=1; fi
exit $rc
