#!/usr/bin/env bash
# Runs one fuzz target for a bounded time and fails on any finding.
#
#   fuzz/run.sh TARGET SECONDS [BUILD_DIR]
#
# The corpus grows in BUILD_DIR/corpus/TARGET from run to run, starting from
# the seeds that fuzz/make-seeds.py wrote to BUILD_DIR/seeds/TARGET. A finding
# is written to BUILD_DIR/artifacts/TARGET-crash-... (or -timeout-, -oom-)
# and the run exits non-zero; replay it with BUILD_DIR/fuzz/TARGET FILE.
set -euo pipefail
target=$1
seconds=$2
build=${3:-build-fuzz}
corpus=$build/corpus/$target
mkdir -p "$corpus" "$build/artifacts" "$build/logs"
log=$build/logs/$target.log
if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  echo "fuzz $target: ${seconds}s, $runs runs, $cov, corpus $(ls "$corpus" | wc -l) inputs, no finding"
else
  status=$?
  echo "fuzz $target: FINDING (exit $status); log $log" >&2
  grep -v '^    #' "$log" | tail -40 >&2
  exit 1
fi
