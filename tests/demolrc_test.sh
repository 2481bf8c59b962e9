#!/bin/sh
# The second demo, as the README makes it:
#   demolrc_test.sh DEMO_DIR TRALUNE_LRC TRALUNE_CHECK
# its lyrics are what make_lrc.py makes from the demo's notes, and the README's command makes them into a
# script that tralune-check finds nothing to say about. Works on a copy, so the source tree is left alone.
set -eu
demo=$1
lrc=$2
check=$3
fail() { echo "FAIL: $*"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 "$demo/lrc/make_lrc.py" "$tmp/made.lrc" >/dev/null
diff -u "$demo/lrc/twinkle.lrc" "$tmp/made.lrc" || fail "demo/lrc/twinkle.lrc is not what make_lrc.py makes"

mkdir "$tmp/demo"
cp -R "$demo/lrc" "$demo/night.pcx" "$demo/font.pcx" "$demo/gnusong.mp3" "$tmp/demo/"
cd "$tmp/demo/lrc"
"$lrc" --song ../gnusong.mp3 --picture ../night.pcx twinkle.lrc || fail "tralune-lrc failed"
[ -L gnusong.mp3 ] || fail "no link to the song"
report=$("$check" 2>&1) || { echo "$report"; fail "tralune-check found an error"; }
echo "$report"
[ "$(echo "$report" | wc -l)" -eq 1 ] || fail "tralune-check has more to say than the summary"
case $report in *": 0 errors, 0 warnings;"*) ;; *) fail "tralune-check's summary is not clean" ;; esac
