#!/bin/sh
# Installs what is missing, builds tralune and its companions (so that the README's import examples work
# after it), and runs it: on SCRIPT from the current folder when one is given, otherwise on the demo
# sing-along from its own folder, first making any of its files that are missing (demo/make.sh).
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/deps.sh" run
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target tralune tralune-mkfont tralune-check tralune-lrc \
  tralune-ultrastar tralune-ass tralune-kar tralune-cdg
if [ $# -gt 0 ]; then
  exec "$top/build/tralune" "$1"
fi
MKFONT="$top/build/tools/tralune-mkfont" CHECK="$top/build/tools/tralune-check" "$top/demo/make.sh"
cd "$top/demo"
exec "$top/build/tralune"
