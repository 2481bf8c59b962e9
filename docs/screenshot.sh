#!/bin/sh
# Takes a picture of the demo as it plays: runs tralune in demo/ on a private X server (Xvfb) with a
# silent stand-in for the song player, reads the screen a given number of seconds after the start,
# and writes it as a PNG (default docs/screenshot.png).
# Usage: docs/screenshot.sh [-b TRALUNE] [-t SECONDS] [-o OUTPUT.png]
#   -b  the tralune binary (default build/tralune)
#   -t  seconds after tralune starts (default 10.5: "wonder" of the second line is highlighted)
# Needs xvfb, x11-apps (xwd) and imagemagick. Exits non-zero when the server or tralune cannot be
# started or the screen cannot be read.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
binary=$top/build/tralune
at=10.5
out=$top/docs/screenshot.png
while getopts b:t:o: opt; do
  case $opt in
    b) binary=$OPTARG ;;
    t) at=$OPTARG ;;
    o) out=$OPTARG ;;
    *) echo "usage: $0 [-b TRALUNE] [-t SECONDS] [-o OUTPUT.png]" >&2; exit 2 ;;
  esac
done
case $binary in /*) ;; *) binary=$(pwd)/$binary ;; esac
case $out in /*) ;; *) out=$(pwd)/$out ;; esac
[ -x "$binary" ] || { echo "screenshot.sh: no tralune at $binary (build it first)" >&2; exit 1; }
[ -s "$top/demo/script.txt" ] || { echo "screenshot.sh: the demo is not made (demo/make.sh)" >&2; exit 1; }

tmp=$(mktemp -d)
xvfb=""
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A display number that no other server holds.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
tries=0
until xwd -root -display ":$n" -silent >/dev/null 2>&1; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
    echo "screenshot.sh: Xvfb :$n did not start" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done

# The song player's stand-in plays nothing, so the run makes no sound and needs no audio device.
mkdir "$tmp/bin"
printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/mpg123"
chmod +x "$tmp/bin/mpg123"

# The X server now and then refuses a connection right after another one closed: such a start is
# tried again.
for attempt in 1 2 3 4 5; do
  start=$(date +%s.%N)
  (cd "$top/demo" && PATH="$tmp/bin:$PATH" SDL_VIDEODRIVER=x11 DISPLAY=":$n" exec "$binary") \
    >"$tmp/tralune.out" 2>&1 &
  player=$!
  sleep 1
  if kill -0 "$player" 2>/dev/null; then break; fi
  player=""
  if ! grep -q "Could not open the display" "$tmp/tralune.out"; then
    echo "screenshot.sh: tralune ended at once:" >&2
    cat "$tmp/tralune.out" >&2
    exit 1
  fi
done
[ -n "$player" ] || { echo "screenshot.sh: tralune could not open the display" >&2; cat "$tmp/tralune.out" >&2; exit 1; }

left=$(echo "$start + $at - $(date +%s.%N)" | awk '{ print $1 + $3 - $5 }')
case $left in -*) ;; *) sleep "$left" ;; esac
xwd -root -display ":$n" -silent >"$tmp/screen.xwd"
kill -0 "$player" 2>/dev/null || { echo "screenshot.sh: tralune ended before the picture was taken:" >&2; cat "$tmp/tralune.out" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
/usr/bin/convert "xwd:$tmp/screen.xwd" "png:$out"
echo "screenshot.sh: wrote $out ($at s into the demo)"
