#!/bin/sh
# run_under_valgrind.sh VALGRIND TOOL IMAGE [ARGUMENTS...]
#
# Runs TOOL on IMAGE under memcheck in a fresh folder. Fails on any memory
# error, on a definite or indirect leak, on an exit status other than 0 and
# when the run wrote no file (a run that did nothing proves nothing).
set -eu
valgrind=$1
tool=$2
image=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
shift 3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

status=0
"$valgrind" --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect "$tool" "$image" "$@" || status=$?
if [ "$status" -ne 0 ]; then
  echo "run_under_valgrind: exit status $status" >&2
  exit 1
fi
if [ -z "$(find . -type f)" ]; then
  echo "run_under_valgrind: no file was extracted" >&2
  exit 1
fi
