#!/bin/sh
# Builds the tools and runs them on the sample images, each into a fresh
# folder under sample-output/.
set -eu
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target d88ts d88cpm >/dev/null
rm -rf sample-output
mkdir -p sample-output/ts sample-output/cpm
echo '$ d88ts ../../examples/sample-ts.d88'
(cd sample-output/ts && ../../build/default/d88ts/d88ts ../../examples/sample-ts.d88)
echo
echo '$ d88cpm ../../examples/sample-cpm.d88'
(cd sample-output/cpm && ../../build/default/d88cpm/d88cpm ../../examples/sample-cpm.d88)
echo
echo 'Files written:'
find sample-output -type f | sort
