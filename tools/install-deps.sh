#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the tools need,
# and only those that are missing. Called by `make`, `make test`, `make demo`
# and .ci/run; safe to run again (a few seconds when all is there).
#
#   tools/install-deps.sh [base] [tools] [fuzz] [win32] [all]
#
#   base   compiler, CMake, GoogleTest, Google Benchmark
#   tools  libsndfile, libsamplerate and CLI11 for the vox command-line tools
#   fuzz   clang with its fuzzer and sanitizer runtimes, llvm coverage tools
#   win32  MinGW-w64 i686 cross-compiler, Wine and qemu-user (32-bit Windows tests)
set -eu
export DEBIAN_FRONTEND=noninteractive

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(base)
want=()
win32=0
for g in "${groups[@]}"; do
  case "$g" in
    base)  want+=(g++ cmake make googletest libgtest-dev libbenchmark-dev) ;;
    tools) want+=(pkg-config libsndfile1-dev libsamplerate0-dev libcli11-dev) ;;
    fuzz)  want+=(clang libclang-rt-14-dev llvm python3) ;;
    win32) win32=1; want+=(g++-mingw-w64-i686-posix wine wine32:i386) ;;
    all)   exec "$0" base tools fuzz win32 ;;
    *) echo "install-deps: unknown group '$g'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
# qemu-user 10 from bookworm-backports: the bookworm one is far too slow for Wine.
if [ "$win32" = 1 ] && ! dpkg-query -W -f='${Version}\n' qemu-user 2>/dev/null | grep -q '^1:[1-9][0-9]'; then
  missing+=(qemu-user/bookworm-backports)
fi
[ ${#missing[@]} -gt 0 ] || exit 0

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
if [ "$win32" = 1 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  if [ ! -e /etc/apt/sources.list.d/bookworm-backports.sources ]; then
    uri=$(awk '$1=="URIs:"{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    [ -n "$uri" ] || uri=$(awk '$1=="deb"{print $2; exit}' /etc/apt/sources.list)
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" > /etc/apt/sources.list.d/bookworm-backports.sources
  fi
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
