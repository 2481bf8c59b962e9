#!/bin/sh
# Checks the manual pages and the install.
#   install_test.sh pages SOURCE_DIR          every page in man/ renders with man and groff without a
#                                             warning, and tralune's page names every message the program
#                                             prints
#   install_test.sh install SOURCE_DIR BUILD_DIR
#                                             an install into a fresh prefix holds every program that has
#                                             a page, runnable, and every page as in the source tree
# Prints what is wrong and exits 1 on the first fault.
set -eu
mode=$1
src=$2
fail() { echo "FAIL: $*"; exit 1; }

case $mode in
pages)
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  for file in "$src"/man/*.1; do
    page=$(basename "$file")
    [ -s "$file" ] || fail "$file is missing or empty"
    MANWIDTH=80 man -P cat -l --warnings -E UTF-8 "$file" >"$tmp/out" 2>"$tmp/err" ||
      fail "man -l $page exited with status $?: $(cat "$tmp/err")"
    [ ! -s "$tmp/err" ] || { echo "man -l $page warns:"; cat "$tmp/err"; fail "man warnings for $page"; }
    [ -s "$tmp/out" ] || fail "man -l $page rendered nothing"
    for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES; do
      grep -q "^$section" "$tmp/out" || { cat "$tmp/out"; fail "$page has no $section section"; }
    done
    groff -ww -man -z "$file" 2>"$tmp/err" || fail "groff -man $page exited with status $?"
    [ ! -s "$tmp/err" ] || { echo "groff -ww $page warns:"; cat "$tmp/err"; fail "groff warnings for $page"; }
    # Pages are checked on one long line each so that a message broken across lines still matches.
    MANWIDTH=1000 man -P cat -l -E UTF-8 "$file" 2>/dev/null | col -b | tr -s ' \n' '  ' >"$tmp/$page.flat"
  done
  # Every line tralune can write on standard output, as it writes it.
  for message in "Opening file: " "No file specified. Using default script.txt" "The file was not opened" \
    "Error parsing cmd at line: " "Error parsing arguments at line: " "Unknown command at line: " \
    "Error parsing time at line: " \
    " exiting now..." "Now i hop" "now i bounce" "Could not load font.pcx" "Could not open the display: "; do
    grep -qF "$message" "$tmp/tralune.1.flat" || fail "tralune(1) does not show the message \"$message\""
  done
  for word in script.txt font.pcx gnusong.mp3 SDL_VIDEODRIVER text setimg clearscreen sleep usleep at hop bounce; do
    grep -qF "$word" "$tmp/tralune.1.flat" || fail "tralune(1) does not mention $word"
  done
  for option in --size --colour --basic -o --help; do
    grep -qF -- "$option" "$tmp/tralune-mkfont.1.flat" || fail "tralune-mkfont(1) does not mention $option"
  done
  for option in --font --help; do
    grep -qF -- "$option" "$tmp/tralune-check.1.flat" || fail "tralune-check(1) does not mention $option"
  done
  for option in -o --picture --background --font --lead --fill --offset --song --song= --voice --help \
    "#BPM" "#GAP" "#RELATIVE" "#ENCODING" "#AUDIO" "#MP3" ffmpeg; do
    grep -qF -- "$option" "$tmp/tralune-ultrastar.1.flat" || fail "tralune-ultrastar(1) does not mention $option"
  done
  for option in -o --song --frame --help song.cdg gnusong.mp3 .zip __MACOSX; do
    grep -qF -- "$option" "$tmp/tralune-cdg.1.flat" || fail "tralune-cdg(1) does not mention $option"
  done
  for option in -o --picture --background --font --lead --fill --offset --song --style --help \
    "[Events]" "Format:" Dialogue Comment karaoke fx '\kf' '\ko' '\N' '\p1'; do
    grep -qF -- "$option" "$tmp/tralune-ass.1.flat" || fail "tralune-ass(1) does not mention $option"
  done
  for option in -o --picture --background --font --lead --fill --offset --no-audio --soundfont --help \
    gnusong.mp3 fluidsynth lame timgm6mb-soundfont default-GM.sf2 RMID "@K" "@T"; do
    grep -qF -- "$option" "$tmp/tralune-kar.1.flat" || fail "tralune-kar(1) does not mention $option"
  done
  echo "every page renders without warnings"
  ;;
install)
  build=$3
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 ||
    { cat "$prefix.log"; rm -f "$prefix.log"; fail "cmake --install exited with status $?"; }
  rm -f "$prefix.log"
  for file in "$src"/man/*.1; do
    page=$(basename "$file")
    program=${page%.1}
    [ -x "$prefix/bin/$program" ] || { find "$prefix"; fail "no runnable bin/$program in the install"; }
    # The installed companion programs run on their own and answer --help.
    if [ "$program" != tralune ]; then
      "$prefix/bin/$program" --help >"$prefix/help" 2>&1 || { cat "$prefix/help"; fail "installed $program --help failed"; }
      grep -q "usage: $program" "$prefix/help" || { cat "$prefix/help"; fail "installed $program --help shows no usage"; }
    fi
    installed=$prefix/share/man/man1/$page
    [ -f "$installed" ] || { find "$prefix"; fail "no share/man/man1/$page in the install"; }
    cmp -s "$installed" "$file" || fail "the installed $page differs from man/$page"
  done
  echo "the install holds every program and every page"
  ;;
*)
  echo "usage: $0 pages SOURCE_DIR | install SOURCE_DIR BUILD_DIR" >&2
  exit 2
  ;;
esac
