#!/usr/bin/env bash
# CI: builds the fuzz targets, runs each one over its committed corpus and its
# kept findings (fuzz/regressions/<target>/), every input once, then fuzzes it
# for a short while (D88_FUZZ_SECONDS, default 30). Exits non-zero on any
# finding. D88_FUZZ_BUILD_DIR picks another build folder than build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${D88_FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=${D88_FUZZ_SECONDS:-30}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for t in fuzz_reader fuzz_d88ts fuzz_d88cpm; do
  inputs=("$root/fuzz/corpus/$t")
  if [ -d "$root/fuzz/regressions/$t" ] && [ -n "$(ls -A "$root/fuzz/regressions/$t")" ]; then
    inputs+=("$root/fuzz/regressions/$t")
  fi
  flags=(-timeout=10 -rss_limit_mb=2048 -max_len=65536 -dict="$root/fuzz/d88.dict"
         -artifact_prefix="$scratch/$t-")
  echo "== $t: every kept input once"
  if ! "$build/fuzz/$t" "${flags[@]}" -runs=0 "${inputs[@]}" >"$scratch/$t.log" 2>&1; then
    tail -n 40 "$scratch/$t.log"
    echo "FAILED: $t on a kept input"
    status=1
    continue
  fi
  grep -E "INITED|DONE" "$scratch/$t.log" | tail -n 1 || true
  echo "== $t: fuzzing for ${seconds}s"
  # New inputs go to a scratch folder; the committed corpus is only read.
  mkdir -p "$scratch/$t"
  if ! "$build/fuzz/$t" "${flags[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      "$scratch/$t" "${inputs[@]}" >"$scratch/$t.log" 2>&1; then
    tail -n 40 "$scratch/$t.log"
    mkdir -p "$root/fuzz/work"
    cp "$scratch/$t"-* "$root/fuzz/work/" 2>/dev/null || true
    echo "FAILED: $t found a fault; the input is kept in fuzz/work/"
    status=1
    continue
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec)|DONE" "$scratch/$t.log" || true
done
exit $status
