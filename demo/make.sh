#!/bin/sh
# Makes whichever of the demo's files are missing: the font (font.pcx), the picture (night.pcx), the
# song (gnusong.mp3), the script (script.txt, last, as it is checked against the font and picture), and
# the lyrics of the second demo (lrc/twinkle.lrc).
# Usage: make.sh [--all]      --all makes every file anew, after a change to notes.txt, say.
# The font maker is taken from $MKFONT, else tralune-mkfont on the PATH, else the one in ../build/tools;
# the script checker likewise from $CHECK, tralune-check or ../build/tools.
# Needs, only for the files it makes: python3 (script, song), sox and lame (song), imagemagick
# (picture), fonts-dejavu-core (font, picture). Exits non-zero, naming what is missing, on failure.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
all=no
case "${1:-}" in
  --all) all=yes ;;
  "") ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

# The companion program named $2: $1 when set, else the one on the PATH, else the one in ../build/tools.
tool() {
  found=${1:-$(command -v "$2" || echo "$here/../build/tools/$2")}
  [ -x "$found" ] || { echo "make.sh: no $2 (build it first, or set the variable named in make.sh)" >&2; exit 1; }
  echo "$found"
}

wanted() { [ "$all" = yes ] || [ ! -s "$here/$1" ]; }
need() {
  command -v "$1" >/dev/null 2>&1 || [ -x "$1" ] ||
    { echo "make.sh: $1 is needed to make the demo's $2; install the Debian package $3" >&2; exit 1; }
}

if wanted font.pcx; then
  mkfont=$(tool "${MKFONT:-}" tralune-mkfont)
  # Bold at 32 pixels, every glyph slot: the longest line of the song takes 583 of the 640 columns,
  # 39 rows high.
  "$mkfont" --size 32 --colour FFFFFF -o "$here/font.pcx" /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
fi
if wanted night.pcx; then
  need /usr/bin/convert picture imagemagick
  "$here/make_picture.sh" "$here/night.pcx"
fi
if wanted gnusong.mp3; then
  need "$python" song python3
  need sox song sox
  need lame song lame
  "$python" "$here/make_song.py" "$here/gnusong.mp3"
fi
if wanted script.txt; then
  need "$python" script python3
  "$python" "$here/make_script.py" "$here/script.txt"
  # Checked as tralune reads it: a warning (a character the font lacks, a line too wide) fails too.
  check=$(tool "${CHECK:-}" tralune-check)
  report=$(cd "$here" && "$check" script.txt 2>&1) || { echo "$report" >&2; exit 1; }
  case $report in
    *": warning: "*) echo "$report" >&2; exit 1 ;;
  esac
fi
if wanted lrc/twinkle.lrc; then
  need "$python" lyrics python3
  "$python" "$here/lrc/make_lrc.py" "$here/lrc/twinkle.lrc"
fi
