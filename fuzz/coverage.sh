#!/usr/bin/env bash
# Line coverage of the engine reached by the fuzz corpora: builds the fuzz
# targets with source-based coverage, runs each target once over its corpus
# and seeds, and reports on core/ and the library sources.
#
#   fuzz/coverage.sh [FUZZ_BUILD_DIR] [COVERAGE_BUILD_DIR]
set -euo pipefail
fuzzbuild=${1:-build-fuzz}
covbuild=${2:-build-fuzz-cov}
CC=clang CXX=clang++ cmake -S . -B "$covbuild" -DVOX_FUZZ=ON -DVOX_FUZZ_COVERAGE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$covbuild" -j2 >/dev/null
rm -rf "$covbuild/prof"
mkdir -p "$covbuild/prof"
objects=()
for exe in "$covbuild"/fuzz/*_load "$covbuild"/fuzz/*_render; do
  t=$(basename "$exe")
  dirs=()
  for d in "$fuzzbuild/corpus/$t" "$fuzzbuild/seeds/$t"; do [ -d "$d" ] && dirs+=("$d"); done
  LLVM_PROFILE_FILE="$covbuild/prof/$t.profraw" "$exe" -runs=0 "${dirs[@]}" >/dev/null 2>&1
  if [ ${#objects[@]} -eq 0 ]; then objects+=("$exe"); else objects+=(-object "$exe"); fi
done
llvm-profdata merge -sparse "$covbuild"/prof/*.profraw -o "$covbuild/prof/all.profdata"
sources=(core scorevox blockvox dryvox)
llvm-cov report "${objects[@]}" -instr-profile="$covbuild/prof/all.profdata" "${sources[@]}"
for lib in scorevox blockvox dryvox; do
  echo
  echo "== $lib engine (its load and render targets)"
  llvm-cov report "$covbuild/fuzz/${lib}_load" -object "$covbuild/fuzz/${lib}_render" \
    -instr-profile="$covbuild/prof/all.profdata" "${sources[@]}" | tail -1
done
