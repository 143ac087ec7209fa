#!/bin/sh
# Runs the crosscheck host natively on the Linux libraries and under Wine on
# the Windows DLLs, both from the same case table at this moment, and
# compares the two digests byte for byte.
#   compare.sh LINUX-HOST LINUX-LIBDIR WINE WINDOWS-HOST WORKDIR
set -eu
linux=$1 libdir=$2 wine=$3 win=$4 work=$5
rm -rf "$work"
mkdir -p "$work/linux" "$work/wine"
windir=$(dirname "$win")
fail=0
timeout 120 "$linux" --libdir "$libdir" --work "$work/linux" --digest "$work/digest-linux.txt" > "$work/linux.out" || fail=1
cat "$work/linux.out"
(cd "$windir" && timeout 240 "$wine" "$win" --libdir . --work "$work/wine" --digest "$work/digest-wine.txt" </dev/null) \
  | tr -d '\r' > "$work/wine.out" || fail=1
cat "$work/wine.out"
grep -q ' passed, 0 failed$' "$work/linux.out" || { echo "the Linux run failed"; fail=1; }
grep -q ' passed, 0 failed$' "$work/wine.out" || { echo "the Wine run failed"; fail=1; }
if [ -s "$work/digest-linux.txt" ] && cmp -s "$work/digest-linux.txt" "$work/digest-wine.txt"; then
  echo "digests identical ($(wc -l < "$work/digest-linux.txt") lines)"
else
  echo "the digests differ (- Linux, + Windows):"
  diff -u "$work/digest-linux.txt" "$work/digest-wine.txt" | head -60 || true
  fail=1
fi
exit $fail
