#!/bin/sh
# Installs the Debian packages that tralune needs and are missing: "./deps.sh run" for building and
# running, "./deps.sh test" for the whole test suite as well, "./deps.sh bench" for the benchmarks,
# "./deps.sh package" for making the Debian package (./package.sh).
# Uses sudo when not run as root.
set -eu

# libmpg123, librubberband and libmp3lame render a song in another key or tempo (tralune --key, --tempo);
# SQLite keeps the party's library, queue and settings.
run_packages="build-essential cmake pkg-config libsdl1.2-dev mpg123 libfreetype-dev fonts-dejavu-core libzip-dev
  libmpg123-dev librubberband-dev libmp3lame-dev libsqlite3-dev libmicrohttpd-dev libqrencode-dev"
# The tests also make pictures with real writers, sing on a real X server, read its screen back, press
# keys, synthesize a song, render a MIDI karaoke file's music (fluidsynth, a General MIDI soundfont and
# lame, which tralune-kar uses where they are installed), fuzz and check memory with clang's sanitizers
# and valgrind, and make the package; sox and lame also make the tones the key and tempo renders are
# measured on. The party's phone page is tested in a real browser (Chromium headless driven by
# Selenium) and its QR code read back with a real decoder (zbarimg).
test_packages="$run_packages libgtest-dev imagemagick python3-pil xvfb x11-apps x11-utils xdotool sox lame
  fluidsynth timgm6mb-soundfont libx11-dev libxfixes-dev clang libclang-rt-14-dev valgrind man-db dpkg-dev
  chromium chromium-driver python3-selenium zbar-tools"

# The package is made with CPack, which finds the libraries the programs need with dpkg-shlibdeps and
# takes Debian's build flags from dpkg-buildflags (both dpkg-dev); lintian checks the result.
package_packages="$run_packages dpkg-dev lintian"

# The benchmarks compare the picture decoder with SDL_image's, read peak memory with time, and make the
# songs the key and tempo renders are timed on with sox and lame.
bench_packages="$run_packages libsdl-image1.2-dev imagemagick time sox lame"

case "${1:-run}" in
  run) wanted=$run_packages ;;
  test) wanted=$test_packages ;;
  bench) wanted=$bench_packages ;;
  package) wanted=$package_packages ;;
  *) echo "usage: $0 run|test|bench|package" >&2; exit 2 ;;
esac

missing=""
for p in $wanted; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
