#!/bin/sh
# Compares a DLL's export table with a checked-in list of names, and checks
# that it is a 32-bit DLL importing only KERNEL32, USER32 and msvcrt.
#   check-dll.sh OBJDUMP DLL EXPECTED-EXPORTS
set -eu
objdump=$1 dll=$2 expected=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$objdump" -p "$dll" > "$tmp/p"
fail=0
if ! grep -q 'file format pei-i386' "$tmp/p"; then
  echo "$dll: not a 32-bit x86 DLL"; fail=1
fi
awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&NF==0{f=0} f{print $NF}' "$tmp/p" | LC_ALL=C sort > "$tmp/exports"
LC_ALL=C sort "$expected" > "$tmp/want"
if ! diff -u "$tmp/want" "$tmp/exports"; then
  echo "$dll: the export table differs from $expected (- expected, + found)"; fail=1
fi
awk '/DLL Name:/{print toupper($3)}' "$tmp/p" | LC_ALL=C sort > "$tmp/imports"
printf 'KERNEL32.DLL\nMSVCRT.DLL\nUSER32.DLL\n' > "$tmp/wantimports"
if ! diff -u "$tmp/wantimports" "$tmp/imports"; then
  echo "$dll: imports other DLLs than KERNEL32, USER32 and msvcrt"; fail=1
fi
[ $fail = 0 ] && echo "$dll: exports and imports as expected"
exit $fail
