#!/usr/bin/env bash
# Builds the fuzz targets and fuzzes each one for SECONDS (default 60):
#   fuzz/run.sh [SECONDS] [TARGET...]
# Each target runs on a working copy of its committed corpus in
# fuzz/work/<target>/corpus (ignored by git); crash, timeout and out-of-memory
# inputs land in fuzz/work/<target>/artifacts; each run's log is added to
# fuzz/work/<target>/log.
# D88_FUZZ_NO_BUILD=1 skips the build (for runs started side by side).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_reader fuzz_d88ts fuzz_d88cpm)

if [ "${D88_FUZZ_NO_BUILD:-0}" != 1 ]; then
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz || exit 1
fi

status=0
for t in "${targets[@]}"; do
  work=$root/fuzz/work/$t
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -n "$root/fuzz/corpus/$t"/* "$work/corpus/" 2>/dev/null
  echo "== $t for ${seconds}s (log: fuzz/work/$t/log)"
  echo "== $(date -u '+%F %T') $t for ${seconds}s" >>"$work/log"
  "$root/build/fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -dict="$root/fuzz/d88.dict" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >>"$work/log" 2>&1
  rc=$?
  tail -n 12 "$work/log" | grep -E "^(stat::|Done|#)" || true
  if [ "$rc" -ne 0 ]; then
    echo "FINDING in $t (exit $rc): $(ls "$work/artifacts")"
    status=1
  fi
done
exit $status
