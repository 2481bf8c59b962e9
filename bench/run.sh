#!/bin/sh
# Measures what script lines cost the song's timing on this machine and prints a table: installs what is
# missing, builds the player and the bench in build-bench/ with the player's own flags (RelWithDebInfo),
# makes the pictures once, and runs. "./bench/run.sh [REPS [SECTIONS]]": REPS (default 15) runs per
# median (at most 3 in the cdg section, whose runs play 10 to 20 s of song each); SECTIONS any of
# lines,pictures,start,song,clock,cdg,tempo,party,night,phones (default all; tempo renders a 4-minute song REPS
# times, at most 3, and plays 30 s of song at three tempos as often; night plays 2 x REPS songs, at
# least 8, about 6 s each, through tralune-party's own loop, on the dummy driver and on Xvfb at 640x480). The line costs and the cdg section are
# measured three times: on SDL's dummy driver, then on a private Xvfb server at 640x480 and at
# 1920x1080, whose tables follow. The party section scans made libraries of 20,000 and 100,000 songs
# (sparse files, made once in build-bench/bench/party) and searches them, at most 3 runs.
# The phones section runs 60 phones against the phone page's server on loopback for 20 s, then plays
# three 30 s songs with them and three without.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench/bench"
reps=${1:-15}
sections=${2:-lines,pictures,start,song,clock,cdg,tempo,party,night,phones}
case ",$sections," in *,cdg,*) cdg=yes ;; *) cdg=no ;; esac
case ",$sections," in *,tempo,*) tempo=yes ;; *) tempo=no ;; esac
case ",$sections," in *,party,*) party=yes ;; *) party=no ;; esac
case ",$sections," in *,night,*) night=yes ;; *) night=no ;; esac
case ",$sections," in *,phones,*) phones=yes ;; *) phones=no ;; esac
nightsongs=$(( reps * 2 < 8 ? 8 : reps * 2 ))
cdgreps=$(( reps < 3 ? reps : 3 ))

"$top/deps.sh" bench

cmake -S "$top/bench" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tralune tralune-bare tralune-bench tralune-bench-cdg tralune-bench-tempo \
  tralune-bench-party tralune-bench-night tralune-bench-phones >/dev/null

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
status=0
others=$(echo "$sections" | tr , '\n' | grep -vx -e cdg -e tempo -e party -e night -e phones | paste -sd, - || true)
if [ -n "$others" ]; then
  "$build/tralune-bench" "$top" "$pics" "$reps" "$others" || status=$?
fi
if [ $cdg = yes ]; then
  echo
  "$build/tralune-bench-cdg" "$cdgreps" || status=$?
fi

if [ $party = yes ]; then
  echo
  "$build/tralune-bench-party" "$build/party" "$cdgreps" || status=$?
fi

if [ $tempo = yes ]; then
  echo
  "$build/tralune-bench-tempo" "$cdgreps" || status=$?
fi

if [ $night = yes ]; then
  echo
  "$build/tralune-bench-night" "$nightsongs" 2>/dev/null || status=$?
fi

if [ $phones = yes ]; then
  echo
  "$build/tralune-bench-phones" 20 || status=$?
fi

case $sections in *lines*|*cdg*|*night*) ;; *) exit $status ;; esac
# The same line costs on a real X server, which copies each frame once more on its side: at 640x480,
# and at 1920x1080, where the player scales the frame to 1440x1080. BENCH_SIZES (default both) picks.
tmp=$(mktemp -d)
xvfb=""
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
for size in ${BENCH_SIZES:-640x480 1920x1080}; do
  rm -f "$tmp/display"
  exec 3>"$tmp/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  exec 3>&-
  tries=0
  until [ -s "$tmp/display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ] || ! kill -0 $xvfb 2>/dev/null; then
      echo "bench: Xvfb did not start:" >&2
      cat "$tmp/xvfb.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  display=":$(head -1 "$tmp/display")"
  echo
  echo "On Xvfb at $size:"
  case $sections in
    *lines*) BENCH_X11_DISPLAY=$display "$build/tralune-bench" "$top" "$pics" "$reps" lines || status=$? ;;
  esac
  if [ $cdg = yes ]; then
    echo
    BENCH_X11_DISPLAY=$display BENCH_X11_SIZE=$size "$build/tralune-bench-cdg" "$cdgreps" || status=$?
  fi
  if [ $night = yes ] && [ "$size" = 640x480 ]; then
    echo
    BENCH_X11_DISPLAY=$display "$build/tralune-bench-night" "$nightsongs" 2>/dev/null || status=$?
  fi
  kill $xvfb
  wait $xvfb 2>/dev/null || true
  xvfb=""
done
exit $status
