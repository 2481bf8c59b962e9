#!/bin/sh
# Checks the manual pages and the install.
#   install_test.sh pages SOURCE_DIR          every page in man/ renders with man and groff without a
#                                             warning, and tralune's page names every message the program
#                                             prints
#   install_test.sh install SOURCE_DIR BUILD_DIR
#                                             an install into a fresh prefix holds every program that has
#                                             a page, runnable, and every page, gzipped, as in the source
#                                             tree; its tralune-demo plays the demo to its end from an
#                                             empty folder and leaves it empty
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
  for word in script.txt font.pcx gnusong.mp3 SDL_VIDEODRIVER text setimg clearscreen sleep usleep at hop bounce \
    --key --tempo --offset XDG_CACHE_HOME "rendered before: " "cannot play gnusong.mp3 at key "; do
    grep -qF -- "$word" "$tmp/tralune.1.flat" || fail "tralune(1) does not mention $word"
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
  for word in --data --countdown --name-order --window --mode-switch --help --version Ctrl+Q Escape party.db XDG_DATA_HOME \
    XDG_CACHE_HOME mpg123; do
    grep -qF -- "$word" "$tmp/tralune-party.1.flat" || fail "tralune-party(1) does not mention $word"
  done
  for word in --help SDL_VIDEODRIVER /usr/share/tralune/demo share/tralune/demo; do
    grep -qF -- "$word" "$tmp/tralune-demo.1.flat" || fail "tralune-demo(1) does not mention $word"
  done
  echo "every page renders without warnings"
  ;;
install)
  build=$3
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  prefix=$tmp/prefix
  cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install exited with status $?"; }
  for file in "$src"/man/*.1; do
    page=$(basename "$file")
    program=${page%.1}
    [ -x "$prefix/bin/$program" ] || { find "$prefix"; fail "no runnable bin/$program in the install"; }
    # The installed companion programs run on their own and answer --help.
    if [ "$program" != tralune ]; then
      "$prefix/bin/$program" --help >"$tmp/help" 2>&1 || { cat "$tmp/help"; fail "installed $program --help failed"; }
      grep -q "usage: $program" "$tmp/help" || { cat "$tmp/help"; fail "installed $program --help shows no usage"; }
    fi
    installed=$prefix/share/man/man1/$page.gz
    [ -f "$installed" ] || { find "$prefix"; fail "no share/man/man1/$page.gz in the install"; }
    gzip -dc "$installed" | cmp -s - "$file" || fail "the installed $page.gz differs from man/$page"
  done

  # tralune-demo from an empty folder, with a stand-in for the song player that notes where it started,
  # and through a link from elsewhere: the demo plays to its end, where it is installed.
  demo=$prefix/share/tralune/demo
  # The stand-in lies in a folder that is never removed: tralune's song child starts it 1.5 s in, after
  # the run that fails to open its display has ended and this test has removed its own folders, and it
  # must not then find the real player, which plays on for minutes where there is no sound device.
  stub=${TMPDIR:-/tmp}/tralune-install-test-stubplayer
  mkdir -p "$stub" "$tmp/empty" "$tmp/link"
  printf '#!/bin/sh\n[ -d "$(dirname "$PLAYER_LOG")" ] && echo "$(pwd) $*" >>"$PLAYER_LOG"\nexit 0\n' >"$stub/mpg123.$$"
  chmod +x "$stub/mpg123.$$"
  mv "$stub/mpg123.$$" "$stub/mpg123"
  ln -s "$prefix/bin/tralune-demo" "$tmp/link/tralune-demo"
  ls -l "$demo" >"$tmp/demo.before"
  status=0
  start=$(date +%s)
  (cd "$tmp/empty" && PATH="$stub:$PATH" PLAYER_LOG=$tmp/player.log SDL_VIDEODRIVER=dummy \
    "$tmp/link/tralune-demo" >"$tmp/demo.out" 2>&1) || status=$?
  seconds=$(($(date +%s) - start))
  [ $status -eq 0 ] || { cat "$tmp/demo.out"; fail "tralune-demo exited with status $status"; }
  # The demo's last wait ends 34 s into the song, which starts 1.5 s in.
  [ $seconds -ge 34 ] || { cat "$tmp/demo.out"; fail "tralune-demo ended after $seconds s, before the demo's end"; }
  [ "$(cat "$tmp/player.log")" = "$(cd "$demo" && pwd) gnusong.mp3" ] ||
    { cat "$tmp/player.log"; fail "the song was not started once, as gnusong.mp3 in $demo"; }
  [ -z "$(ls -A "$tmp/empty")" ] || { ls -lA "$tmp/empty"; fail "tralune-demo wrote into the folder it was started from"; }
  ls -l "$demo" | cmp -s - "$tmp/demo.before" || fail "tralune-demo changed the demo folder"
  # The environment reaches tralune, and its exit status comes back.
  status=0
  (cd "$tmp/empty" && PATH="$stub:$PATH" PLAYER_LOG=$tmp/player.log SDL_VIDEODRIVER=nosuchdriver \
    "$prefix/bin/tralune-demo" >"$tmp/demo.out" 2>&1) || status=$?
  [ $status -eq 1 ] && grep -q "Could not open the display" "$tmp/demo.out" ||
    { cat "$tmp/demo.out"; fail "with no display driver, tralune-demo exited with status $status, not tralune's 1"; }
  echo "the install holds every program and every page, and its tralune-demo plays the demo"
  ;;
*)
  echo "usage: $0 pages SOURCE_DIR | install SOURCE_DIR BUILD_DIR" >&2
  exit 2
  ;;
esac
