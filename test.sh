#!/bin/sh
# Installs what is missing, builds tralune and its tests, and runs the whole test suite.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/deps.sh" test
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)"
cd "$top/build"
ctest --output-on-failure -j"$(nproc)"
