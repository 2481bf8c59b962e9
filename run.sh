#!/bin/sh
# Installs what is missing, builds tralune, and runs it: on SCRIPT from the current folder when one is
# given, otherwise on the sample sing-along from its own folder.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/deps.sh" run
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target tralune
if [ $# -gt 0 ]; then
  exec "$top/build/tralune" "$1"
fi
cd "$top/sample"
exec "$top/build/tralune"
