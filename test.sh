#!/bin/sh
# Installs what is missing, builds tralune and its tests, and runs the whole test suite; then runs it
# all again built with the address and undefined-behaviour sanitizers, and fuzzes each reader of
# outside input (pictures, the font, script lines) for a short while. Any failure or report fails.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/deps.sh" test
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)"
cd "$top/build"
ctest --output-on-failure -j"$(nproc)"

"$top/tests/sanitized.sh"
"$top/fuzz/smoke.sh" 20
