#!/bin/sh
# Usage: check_exports.sh NM LIBRARY NAME...
# Fails unless the defined dynamic symbols of LIBRARY are exactly the NAMEs.
nm=$1
lib=$2
shift 2
got=$("$nm" -D --defined-only "$lib" | awk 'NF { print $NF }' | sort) || exit 1
want=$(printf '%s\n' "$@" | sort)
if [ "$got" != "$want" ]; then
  echo "exports of $lib differ"
  echo "missing:"
  printf '%s\n' "$want" | grep -vxF "$got"
  echo "unexpected:"
  printf '%s\n' "$got" | grep -vxF "$want"
  exit 1
fi
echo "$lib: exports as listed"
