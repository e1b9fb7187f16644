#!/usr/bin/env bash
# Checks that a change left the tools' behaviour as it was: runs two builds of
# d88ts and d88cpm on the same images, each in a fresh folder, with every
# option set, and compares standard output, standard error, exit status and
# every file and folder written, byte for byte.
#
#   bench/compare-builds.sh OLD_BIN_DIR NEW_BIN_DIR IMAGE...
#
# A BIN_DIR holds d88ts and d88cpm. Besides the images named, it runs each one
# cut short at a number of lengths and with bytes changed at fixed places, so
# that damaged disks are compared too. Prints one line per difference and a
# count at the end; exits 1 when anything differed.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 OLD_BIN_DIR NEW_BIN_DIR IMAGE..." >&2
  exit 2
fi
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Variants of each image: cut at lengths spread over it, and with one byte
# changed at offsets spread over it (a fixed sequence, so runs repeat); only
# for images up to 1 MB.
mkdir -p "$scratch/images"
n=0
for image in "$@"; do
  size=$(stat -c %s "$image")
  cp "$image" "$scratch/images/$n.d88"
  if [ "$size" -gt 1000000 ]; then  # large images are compared as they are
    n=$((n + 1))
    continue
  fi
  for cut in 1 687 688 700 1000 2000 4000 5000 9000 20000; do
    if [ "$cut" -lt "$size" ]; then head -c "$cut" "$image" >"$scratch/images/$n-cut$cut.d88"; fi
    cutAt=$((size * cut / 20011))
    if [ "$cutAt" -gt 0 ]; then head -c "$cutAt" "$image" >"$scratch/images/$n-cutp$cut.d88"; fi
  done
  seed=12345
  for k in $(seq 1 24); do
    seed=$(((seed * 1103515245 + 12345) % 2147483648))
    # Mostly the first disk's header, track table and first tracks; some anywhere.
    if [ $((k % 3)) -eq 0 ]; then offset=$((seed % size)); else offset=$((seed % (size < 12000 ? size : 12000))); fi
    value=$(((seed >> 8) % 256))
    cp "$image" "$scratch/images/$n-poke$k.d88"
    printf "$(printf '\\%03o' "$value")" |
      dd of="$scratch/images/$n-poke$k.d88" bs=1 seek="$offset" conv=notrunc status=none
  done
  n=$((n + 1))
done

differences=0
cases=0
run() {  # run BIN_DIR TOOL IMAGE OUT_DIR ARGS...
  local bin=$1 tool=$2 image=$3 out=$4
  shift 4
  mkdir -p "$out/cwd"
  local status=0
  (cd "$out/cwd" && "$bin/$tool" "$image" "$@" >"$out/stdout" 2>"$out/stderr") || status=$?
  echo "$status" >"$out/status"
  # Files and folders written, with their contents' checksums.
  (cd "$out/cwd" && find . -mindepth 1 -printf '%y %p\n' | sort &&
    find . -type f -print0 | sort -z | xargs -0 -r sha256sum) >"$out/tree"
}
for image in "$scratch"/images/*.d88; do
  for args in "" "-d" "-s" "-h" "-d -s -h"; do
    for tool in d88ts d88cpm; do
      if [ "$tool" = d88cpm ] && [ "$args" != "" ] && [ "$args" != "-d" ]; then continue; fi
      rm -rf "$scratch/a" "$scratch/b"
      # shellcheck disable=SC2086
      run "$old" "$tool" "$image" "$scratch/a" $args
      # shellcheck disable=SC2086
      run "$new" "$tool" "$image" "$scratch/b" $args
      cases=$((cases + 1))
      for part in stdout stderr status tree; do
        if ! cmp -s "$scratch/a/$part" "$scratch/b/$part"; then
          echo "DIFFERS: $tool $args $(basename "$image"): $part"
          differences=$((differences + 1))
        fi
      done
    done
  done
done
echo "$cases runs compared, $differences differences"
[ "$differences" -eq 0 ]
