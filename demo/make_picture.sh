#!/bin/sh
# Draws the demo's picture, a night sky over hills with a crescent moon, stars and the song's title,
# with ImageMagick, and writes it as an 8-bit palette PCX (default night.pcx beside this script).
# Usage: make_picture.sh [OUTPUT]
# The picture fills the screen, 640 x 480; its bottom 56 rows are one plain colour, the band the
# lyrics are drawn on, so showing the picture again also wipes the previous line of text.
# Exits non-zero when ImageMagick (Debian package imagemagick) or the DejaVu fonts are missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/night.pcx}
convert=/usr/bin/convert
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -x "$convert" ] || { echo "make_picture.sh: $convert is missing (Debian package imagemagick)" >&2; exit 1; }
[ -r "$bold" ] || { echo "make_picture.sh: $bold is missing (Debian package fonts-dejavu-core)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Stars at fixed pseudo-random places (the same on every machine: awk's generator with a fixed seed),
# kept off the moon and out of the title's middle, fainter and smaller toward the horizon.
awk 'BEGIN {
  srand(1806)
  n = 0
  while (n < 150) {
    x = int(rand() * 640); y = int(rand() * 360)
    if ((x - 540) ^ 2 + (y - 88) ^ 2 < 70 ^ 2) continue
    if (y > 150 && y < 290 && x > 70 && x < 570) continue
    r = 0.5 + rand() * (y < 200 ? 1.3 : 0.8)
    v = int(150 + rand() * 105 - y / 6)
    b = v + 10
    if (b > 255) b = 255
    printf "fill rgb(%d,%d,%d) circle %d,%d %.1f,%d\n", v, v, b, x, y, x + r, y
    n++
  }
}' > "$tmp/stars.mvg"

# (Drawing lists are handed over inline: the usual ImageMagick policy refuses "@file" arguments.)
# A four-pointed bright star, centre (x, y), arm length a.
sparkle() {
  x=$1 y=$2 a=$3 t=$(( $3 / 5 + 1 ))
  printf 'polygon %d,%d %d,%d %d,%d %d,%d %d,%d %d,%d %d,%d %d,%d\n' \
    "$x" $((y - a)) $((x + t)) $((y - t)) $((x + a)) "$y" $((x + t)) $((y + t)) \
    "$x" $((y + a)) $((x - t)) $((y + t)) $((x - a)) "$y" $((x - t)) $((y - t))
}
{
  echo "fill rgb(255,250,215)"
  sparkle 92 70 14
  sparkle 250 42 10
  sparkle 412 118 12
  sparkle 610 236 9
  sparkle 38 250 8
  sparkle 330 320 9
} > "$tmp/sparkles.mvg"

# Sky: a gradient from deep night at the top to a softer blue at the horizon.
"$convert" -size 640x424 gradient:'#03051c'-'#22357a' \
  -background '#080b26' -gravity north -extent 640x480 "$tmp/sky.png"

# The crescent: a pale disc with a second, offset disc cut out of it, and a soft glow behind it.
"$convert" -size 640x480 xc:none -fill '#fff3c4' -draw 'circle 540,88 540,40' \
  \( -size 640x480 xc:none -fill black -draw 'circle 562,72 562,30' \) -compose DstOut -composite \
  "$tmp/moon.png"
"$convert" "$tmp/moon.png" -channel A -evaluate multiply 0.55 +channel -blur 0x12 "$tmp/moonglow.png"

# The title with a warm glow behind it.
title() {
  "$convert" -size 640x480 xc:none -font "$bold" -fill "$1" -gravity north \
    -pointsize 50 -annotate +0+158 'Twinkle, Twinkle,' \
    -pointsize 50 -annotate +0+216 'Little Star' \
    -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 18 -fill "$2" \
    -annotate +0+286 'a tralune sing-along' "$3"
}
title '#ffe27a' '#c8d2ff' "$tmp/title.png"
title '#ffb000' none "$tmp/glow0.png"
"$convert" "$tmp/glow0.png" -blur 0x8 "$tmp/glow.png"

# Hills across the bottom of the sky, a small house with a lit window on the right one; the hills
# run into the plain band at the bottom.
"$convert" "$tmp/sky.png" \
  "$tmp/moonglow.png" -composite "$tmp/moon.png" -composite \
  -draw "$(cat "$tmp/stars.mvg")" -draw "$(cat "$tmp/sparkles.mvg")" \
  "$tmp/glow.png" -composite "$tmp/title.png" -composite \
  -fill '#101a44' -draw 'path "M 0,392 C 120,340 230,360 330,396 C 420,370 540,334 640,372 L 640,430 L 0,430 Z"' \
  -fill '#080b26' -draw 'path "M 0,424 C 90,396 210,398 300,414 C 400,392 520,380 640,404 L 640,480 L 0,480 Z"' \
  -fill '#080b26' -draw 'rectangle 500,368 530,396' -draw 'polygon 495,369 515,352 535,369' \
  -fill '#ffd75e' -draw 'rectangle 508,376 515,384' \
  -fill '#080b26' -draw 'rectangle 0,424 639,479' \
  -dither None -colors 255 -type Palette "PCX:$out"
echo "make_picture.sh: wrote $out"
