#!/usr/bin/env bash
# The 32-bit Windows tests: cross-builds the DLLs and the Windows test host
# (build-win32), checks the DLLs' export tables, runs the host under Wine and
# compares its digest with the same cases run natively on the Linux build.
#
#   tools/run-win32-tests.sh [LINUX-BUILD-DIR]     (default: build)
#
# Skips, saying so, when the MinGW-w64 compiler or Wine is not installed
# (tools/install-deps.sh win32 installs them). Every Wine process runs under a
# timeout, in a prefix of its own that is removed at the end, and the Wine
# server is stopped whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build}
win=${VOX_WIN32_BUILD:-build-win32}
jobs=${JOBS:-2}

skip() {
  echo "*** Windows DLL tests SKIPPED: $* (tools/install-deps.sh win32 installs what they need) ***"
  exit 0
}
command -v i686-w64-mingw32-g++-posix >/dev/null || skip "no MinGW-w64 i686 posix cross-compiler"
command -v wine >/dev/null && [ -x /usr/lib/wine/wine ] || skip "32-bit Wine is not installed"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  # This kernel cannot run 32-bit x86 code: Wine needs qemu-i386 via binfmt_misc.
  command -v qemu-i386 >/dev/null || skip "this kernel cannot run 32-bit code and qemu-user is not installed"
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || [ "$(id -u)" = 0 ] ||
    skip "qemu-i386 is not registered with binfmt_misc, and registering it needs root"
fi
[ -x "$linux/tests/crosscheck/crosscheck" ] ||
  { echo "run-win32-tests: no Linux build in $linux (make build)" >&2; exit 1; }

cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVOX_LINUX_BUILD="$(cd "$linux" && pwd)" >/dev/null
cmake --build "$win" -j"$jobs"

# A prefix of our own, always: the cleanup removes it.
WINEPREFIX=$(mktemp -d /tmp/vox-wineprefix.XXXXXX)
export WINEPREFIX
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
. tools/wine-env.sh
# The persistent server first, then the prefix with its background processes,
# so that no test's captured output is held open by them.
wineserver -p
timeout 300 wineboot -i </dev/null >/dev/null 2>&1 || echo "run-win32-tests: wineboot did not finish cleanly" >&2
timeout 900 ctest --test-dir "$win" --output-on-failure -j"$jobs"
