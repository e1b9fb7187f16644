#!/usr/bin/env bash
# Extraction benchmark: builds a Release build of the tools, generates two large
# images with the project's image builder (64 CP/M-style disks, 64
# track-sector disks), then times each tool extracting its image into a fresh
# folder against `cp -r` of the very tree it extracted into another fresh
# folder (the same files and folders, the same bytes written). Every run starts
# with a warm page cache and after a sync.
#
#   bench/run.sh            # 7 timed runs of each command
#   RUNS=15 bench/run.sh
#
# Everything it makes goes to bench/work/ (ignored by git).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-7}
work=$root/bench/work
build=$work/build

if [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "Installing the time package (for peak memory)"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null
  else
    echo "bench/run.sh needs /usr/bin/time (Debian package: time)" >&2
    exit 1
  fi
fi

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
echo "Building (Release) in bench/work/build ..."
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DD88_BUILD_TESTS=OFF \
  -DD88_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target d88ts d88cpm make_bench_images >/dev/null

mkdir -p "$work/images"
"$build/bench/make_bench_images" "$work/images"

# timed DIR COMMAND...: runs COMMAND in DIR, made fresh and empty, with its
# standard output and error going to a file; prints "wall-microseconds
# peak-KiB cpu-milliseconds" (CPU: user + system).
timed() {
  local dir=$1
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  sync
  local start end
  start=$(date +%s%N)
  # The subshell's `times` gives its children's CPU time to the millisecond.
  (cd "$dir" && /usr/bin/time -f '%M' -o "$work/peak.txt" "$@" >"$work/listing.txt" 2>&1 &&
    times >"$work/times.txt")
  end=$(date +%s%N)
  local cpu
  cpu=$(tail -n 1 "$work/times.txt" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/);
    printf "%d", (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000 + 0.5 }')
  echo "$(((end - start) / 1000)) $(tail -n 1 "$work/peak.txt") $cpu"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

results=()
bench_tool() {
  local name=$1 tool=$2 image=$3
  local ref=$work/ref-$name
  # Warm the cache and make the tree that cp -r copies.
  cat "$image" >/dev/null
  rm -rf "$ref"
  mkdir -p "$ref"
  (cd "$ref" && "$tool" "$image" >/dev/null)
  local bytes files folders
  bytes=$(find "$ref" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  files=$(find "$ref" -type f | wc -l)
  folders=$(find "$ref" -mindepth 1 -type d | wc -l)
  timed "$work/out" cp -r "$ref/." . >/dev/null  # warm-up of both
  timed "$work/out" "$tool" "$image" >/dev/null

  local toolTimes=() copyTimes=() toolCpu=() copyCpu=() toolPeak=0 copyPeak=0 us kib ms
  for ((i = 0; i < runs; ++i)); do
    read -r us kib ms < <(timed "$work/out" "$tool" "$image")
    toolTimes+=("$us")
    toolCpu+=("$ms")
    ((kib > toolPeak)) && toolPeak=$kib
    read -r us kib ms < <(timed "$work/out" cp -r "$ref/." .)
    copyTimes+=("$us")
    copyCpu+=("$ms")
    ((kib > copyPeak)) && copyPeak=$kib
  done
  local toolMed copyMed toolCpuMed copyCpuMed
  toolMed=$(printf '%s\n' "${toolTimes[@]}" | median)
  copyMed=$(printf '%s\n' "${copyTimes[@]}" | median)
  toolCpuMed=$(printf '%s\n' "${toolCpu[@]}" | median)
  copyCpuMed=$(printf '%s\n' "${copyCpu[@]}" | median)
  echo "$name wall us: tool ${toolTimes[*]}; cp -r ${copyTimes[*]}"
  echo "$name CPU ms: tool ${toolCpu[*]}; cp -r ${copyCpu[*]}"
  results+=("$(awk -v n="$name" -v img="$(stat -c %s "$image")" -v b="$bytes" -v f="$files" -v d="$folders" \
    -v t="$toolMed" -v c="$copyMed" -v tc="$toolCpuMed" -v cc="$copyCpuMed" -v tp="$toolPeak" \
    -v cp="$copyPeak" 'BEGIN {
      printf "| %-6s | %8.1f | %6.1f | %9d / %3d | %6.1f ms | %9.0f | %6.1f ms | %7.0f | %9.2f | %6.0f ms | %6.0f ms | %6.2f MiB | %6.2f MiB |",
        n, img / 1e6, b / 1e6, f, d, t / 1000, b / t, c / 1000, b / c, t / c, tc, cc, tp / 1024, cp / 1024 }')")
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2 | sed 's/^ //')"
echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime)"
bench_tool d88ts "$build/d88ts/d88ts" "$work/images/bench-ts.d88"
bench_tool d88cpm "$build/d88cpm/d88cpm" "$work/images/bench-cpm.d88"
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime)"
rm -rf "$work/out"

echo
echo "Median of $runs runs each, warm cache; MB = 10^6 bytes of extracted files; MB/s over wall time;"
echo "CPU = user + system time; peak = largest resident set of any run."
echo "| tool   | image MB | out MB | files / folders | tool wall | tool MB/s | cp -r wall | cp MB/s | tool / cp | tool CPU  | cp CPU    | tool peak  | cp peak    |"
echo "|--------|----------|--------|-----------------|-----------|-----------|------------|---------|-----------|-----------|-----------|------------|------------|"
printf '%s\n' "${results[@]}"
