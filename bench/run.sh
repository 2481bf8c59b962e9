#!/bin/sh
# Measures what script lines cost the song's timing on this machine and prints a table: installs what is
# missing, builds the player and the bench in build-bench/ with the player's own flags (RelWithDebInfo),
# makes the pictures once, and runs. "./bench/run.sh [REPS [SECTIONS]]": REPS (default 15) runs per median; SECTIONS any of
# lines,pictures,start,song (default all).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench/bench"

"$top/deps.sh" bench

cmake -S "$top/bench" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tralune tralune-bare tralune-bench >/dev/null

# Photo-like pictures: a seeded plasma with noise, cut to a 256-colour palette by ImageMagick, as a
# user would make them, and one kept in 24-bit colour (-type TrueColor). Made once; delete
# build-bench/bench/pictures to make them anew.
pics="$build/pictures"
mkdir -p "$pics"
make_picture() {
  [ -s "$pics/$1" ] && return 0
  /usr/bin/convert -seed 7 -size "$2" plasma:fractal -attenuate 0.3 +noise Gaussian -type "${3:-Palette}" \
    "$pics/$1.tmp.pcx"
  mv "$pics/$1.tmp.pcx" "$pics/$1"
}
make_picture pic640.pcx 640x480
make_picture pic4096.pcx 4096x4096
make_picture pic640-24bit.pcx 640x480 TrueColor

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), $(free -h | awk '/^Mem:/ {print $2}') memory"
echo "build: $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt") ($(sed -n 's/^CMAKE_CXX_FLAGS_RELWITHDEBINFO:[A-Z]*=//p' "$build/CMakeCache.txt")), $(c++ --version | head -1)"
exec "$build/tralune-bench" "$top" "$pics" "${1:-15}" "${2:-lines,pictures,start,song}"
