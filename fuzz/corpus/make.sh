#!/bin/sh
# Remakes the seed corpus of the fuzz targets: pictures and fonts from the project's own PCX writer
# (makeseeds.cpp), pictures of each kind from ImageMagick, and script lines. Run from anywhere; it
# rewrites the files beside it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
mkdir -p "$here/fuzz_pcx" "$here/fuzz_font" "$here/fuzz_script"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O1 -I"$top/tools" -I"$top/tests" -I"$top/common" \
  "$here/makeseeds.cpp" "$top/tools/pcxwrite.cpp" "$top/tests/testfiles.cpp" -o "$tmp/makeseeds"
"$tmp/makeseeds" "$here/fuzz_pcx" "$here/fuzz_font"

# ImageMagick writes 8-bit palette PCX files without row padding; a gradient gives many short runs.
/usr/bin/convert -size 9x6 gradient:red-blue -type Palette -colors 16 "PCX:$here/fuzz_pcx/imagemagick-gradient.pcx"
/usr/bin/convert -size 5x4 xc:green -type Palette "PCX:$here/fuzz_pcx/imagemagick-flat.pcx"
# Its other kinds: 24-bit (any picture of greys), 24-bit with alpha, and monochrome.
/usr/bin/convert -size 9x6 gradient:white-black "PCX:$here/fuzz_pcx/imagemagick-24-bit.pcx"
/usr/bin/convert -size 7x5 gradient:red-blue -alpha set -channel A -evaluate set 50% +channel \
  "PCX:$here/fuzz_pcx/imagemagick-alpha.pcx"
/usr/bin/convert -size 11x4 gradient:red-blue -monochrome -set colorspace sRGB -type Palette \
  "PCX:$here/fuzz_pcx/imagemagick-monochrome.pcx"

# Song text for the font target, which also reads its input as a line: UTF-8 with accents and
# typographic marks, Latin-1, and broken, overlong and surrogate sequences.
f="$here/fuzz_font"
printf '\342\200\234Don\342\200\231t\342\200\235 \342\200\223 %%se\303\261or%% caf\351\342\200\246 \360\237\230\200 \320\226' > "$f/text-utf8"
printf 'Caf\351 \374ber se\361or, #1 @ [x] ~' > "$f/text-latin1"
printf '\303 \342\200 \300\257 \340\200\257 \355\240\200 \364\220\200\200 \200\377' > "$f/text-broken"

# Songs for the render: a short mono tone at a low rate and constant bit rate, and a stereo one at LAME's
# -V 2 with its tag, as the renders themselves are written.
r="$here/fuzz_render"
mkdir -p "$r"
sox -n -r 22050 -c 1 "$tmp/mono.wav" synth 0.1 sine 440
lame --quiet -b 32 "$tmp/mono.wav" "$r/tone-mono.mp3"
sox -n -r 44100 -c 2 "$tmp/stereo.wav" synth 0.05 sine 440 sine 660
lame --quiet -V 2 "$tmp/stereo.wav" "$r/tone-stereo-vbr.mp3"

s="$here/fuzz_script"
printf 'text(Hello %%world%%)\n' > "$s/text"
printf 'setimg(picture.pcx)\n' > "$s/setimg"
printf 'clearscreen(255,0,0)\n' > "$s/clearscreen"
printf 'clearscreen(0, 128 ,255)\n' > "$s/clearscreen-spaces"
printf 'clearscreen(7)\n' > "$s/clearscreen-one-component"
printf 'clearscreen(-1,99999999999,+3)\n' > "$s/clearscreen-out-of-range"
printf 'sleep(2s)\n' > "$s/sleep"
printf 'usleep(-500000)\n' > "$s/usleep-negative"
printf '; a comment (with) parentheses\n' > "$s/comment"
printf '(skipped line\n' > "$s/leading-parenthesis"
printf 'hop(1)x\r\n' > "$s/hop-crlf"
printf 'text(abc\n' > "$s/no-closing-parenthesis"
printf 'textrow(1,Hello, %%world%%)\n' > "$s/textrow"
printf 'textrow( 007 ,x)\n' > "$s/textrow-spaces"
printf 'textrow(-1,x)\n' > "$s/textrow-negative"
printf 'bounce()\0clearscreen(1,2,3)\n' > "$s/nul-byte"
printf 'text(%s)\n' "$(printf 'a%.0s' $(seq 1 120))" > "$s/too-long"

# Whole scripts for the checker: one with a problem on nearly every line.
c="$here/fuzz_check"
mkdir -p "$c"
# (The demo's own script is added by smoke.sh from demo/script.txt at every run.)
printf 'hop\ntext(abc\nText(x)\nat(1.2.3)\nsetimg(picture.pcx)\nsetimg(missing.pcx)\ntext(%%Caf\303\251 don\342\200\231t \351t\351)\nclearscreen(300,abc,0)\nsleep(2s)\nusleep(-5)\nat(5)\n\nat(1:02.5)\n%s\n\n' \
  "$(printf 'x%.0s' $(seq 1 120))" > "$c/every-problem"
# Two text rows: a line drawn over another, a picture between, rows too high and unreadable.
printf 'textrow(1,Twinkle)\ntextrow(0,How I)\ntextrow(1,%%Twinkle%%)\ntextrow(1,Up above)\nsetimg(picture.pcx)\ntext(So high)\nclearscreen(0,0,0)\ntextrow(14,x)\ntextrow(15,x)\ntextrow(x)\ntextrow(+1,a,b)\n' > "$c/textrows"

# LRC files for the lyric importer: enhanced with an offset and a gap, the shapes of real files in
# UTF-16 with CRLF, Latin-1, and one long line.
l="$here/fuzz_lrc"
mkdir -p "$l"
printf '[ti:Little Star]\n[ar:Nobody]\n[offset:+250]\n[00:01.00]<00:01.00>Twin<00:01.30>kle, <00:01.60>twin<00:01.90>kle <00:02.50>\n[00:03.00]How I wonder\n[00:05.00]\n[00:06.00]<00:06.00>Up <00:06.40>a<00:06.20>bove\n' > "$l/enhanced"
printf '[ar:Someone]\r\n[00:10.5]M: Same time line\r\n[00:10.50]Same time line\r\n[00:10.500]Ligne traduite\r\n[0:12:25][00:14.501]Twice sung\r\n[00:03]First\r\nno stamp here\r\n[offset:abc]\r\n[la:en]\r\n[01:05.00]F:Minute one\r[61:00.00]Late\r\n' |
  iconv -f UTF-8 -t UTF-16 > "$l/utf16-crlf"
printf '[00:01.00]Caf\351 ol\351 (50%%)\n[00:02.00]Stra\337e\n' > "$l/latin1"
printf '[00:01.00]%s\n' "$(printf 'Word %.0s' $(seq 1 60))" > "$l/long-line"

# UltraStar songs for the importer: every kind of note, hold and line break; a relative duet with a
# part for both voices; an older editor's Windows-1252 file with CRLF; UTF-16 with its mark; and a song
# with a line of every problem the importer skips.
u="$here/fuzz_ultrastar"
mkdir -p "$u"
printf '#TITLE:Twinkle\n#ARTIST:Traditional\n#MP3:twinkle.mp3\n#BPM:187,5\n#GAP:1234,6\n: 0 4 5 Twin\n: 4 4 5 kle \n* 8 4 12 twin\n:  12 4 12 kle\nF 16 4 14  lit\nR 20 4 14 tle \nG 24 6 12 star\n: 30 2 12 ~\n- 34\n: 36 4 10 How\n: 40 4 10  I\n: 44 2 9  won\n: 46 2 9 -\n: 48 4 9 der \n- 52 54\n: 56 4 7 what\n: 60 2 7 ~ \n: 64 4 7 you \n: 68 8 5 are!\n-\nE\n' > "$u/every-note"
printf '#TITLE:Two Voices\n#RELATIVE:yes\n#BPM:300\n#GAP:500\n#P1:Ann\n#P2:Ben\nP1\n: 0 2 0 Twin\n: 2 2 0 kle \n: 4 4 0 star\n- 10 12\n: 0 4 0 How \n* 4 4 0 I\n- 20 30\nP2\n: 8 2 0 Up \n: 10 2 0 a\n: 12 2 0 bove \n- 16\n: 4 4 0 the \nF 8 4 0 world\n- 26\nP3\n: 0 2 0 To\n: 2 4 0 gether\nE\n' > "$u/relative-duet"
printf '#TITLE:Twinkle\r\n#ARTIST:Nobody\r\n#MP3:Nobody - Twinkle.mp3\r\n#COVER:Nobody - Twinkle [CO].jpg\r\n#VIDEO:Nobody - Twinkle.avi\r\n#VIDEOGAP:0,5\r\n#START:12,3\r\n#GAP:7890\r\n#BPM:250,12\r\n: 0 3 0 \223Twin\r\n: 4 3 1 kle, \r\n: 8 3 2 \311toi\r\n: 12 3 3 le \226 \221l\340\222\205\224\r\n- 20\r\nE\r\n' > "$u/windows-1252-crlf"
printf '\377\376#\000B\000P\000M\000:\0002\0000\0000\000\n\000:\000 \0000\000 \0004\000 \0000\000 \000\034 S\000t\000a\000r\000\035 \n\000' > "$u/utf-16"
printf '#ENCODING:UTF8\n#TITLE\n#BPM:300\n\n: 0 4 x bad\n:0 4 0 ok\nB 10 200\n#GAP:5\nP7\n: 4 4 0 lost\nP 2\n: 999999999 999999999 0 far\n- 1 2 3\nZ\n' > "$u/every-problem"

# CD+G streams: every instruction (memory presets with repeats, border, both colour-table halves, tiles
# and XOR tiles, scroll presets and copies in every direction with fine offsets, the transparent colour,
# an unknown instruction, a packet of another mode, a trailing partial packet); the same with the top
# two bits of every byte set, as rips leave them; values past every range; and a lone partial packet.
d="$here/fuzz_cdg"
mkdir -p "$d"
/usr/bin/python3 - "$d" <<'PY'
import sys
out = sys.argv[1]
def packet(instruction, data, mode=9):
    data = (list(data) + [0] * 16)[:16]
    return bytes([mode, instruction, 0, 0] + data + [0] * 4)
def tile(row, col, c0, c1, bits, xor=False):
    return packet(38 if xor else 6, [c0, c1, row, col] + bits)
colours = [v & 0x3F for i in range(8) for v in (i * 7, i * 5 + 3)]
every = [packet(1, [3, 0])] + [packet(1, [3, r]) for r in range(1, 16)] + [
    packet(2, [5]), packet(30, colours), packet(31, colours[::-1]),
    tile(0, 0, 1, 2, [0x2A, 0x15] * 6), tile(17, 49, 4, 9, [0x3F, 0] * 6), tile(5, 20, 7, 8, [0x30] * 12, True),
    packet(20, [6, 0x10 | 3, 0x10 | 9]), packet(20, [6, 0x20 | 5, 0x20 | 11]),
    packet(24, [0, 0x10, 0x20 | 4]), packet(24, [0, 0x20 | 1, 0x10]), packet(24, [0, 0x30 | 2, 0x30 | 7]),
    packet(28, [4]), packet(13, [1, 2, 3]), packet(6, [1, 2, 1, 1], mode=8),
]
stream = b''.join(every)
open(out + '/every-instruction.cdg', 'wb').write(stream + b'\x09\x06\x00')
open(out + '/rip-top-bits.cdg', 'wb').write(bytes(b | 0xC0 for b in stream))
open(out + '/out-of-range.cdg', 'wb').write(b''.join([
    tile(18, 0, 1, 1, [0x3F] * 12), tile(31, 63, 15, 15, [0x3F] * 12), tile(0, 50, 1, 1, [0x3F] * 12),
    packet(20, [15, 0x07, 0x0F]), packet(24, [15, 0x37, 0x3F]), packet(1, [63, 63]), packet(2, [63])]))
open(out + '/partial-packet.cdg', 'wb').write(b'\x09\x01\x00\x00\x03')
PY
# Karaoke subtitles for the ASS/SSA importer: one with a lead-in, \N, every kind of \k, a drawing, text
# before the first tag and lines of every problem the importer skips (UTF-8 mark, CRLF); a templater's
# output beside its karaoke lines in three styles, one of them kanji; an old SSA file in UTF-16; and
# a reordered Format: line with a plain two-row line in Windows-1252.
a="$here/fuzz_ass"
mkdir -p "$a"
{ printf '\357\273\277'; sed 's/$/\r/' <<'EOF'
[Script Info]
; Made by hand in the shape editors save.
Title: Twinkle
ScriptType: v4.00+

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,Arial,20,&H00FFFFFF,&H0000FFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1

[events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:12.00,0:00:15.00,Default,,0,0,0,,{\k50}How {\k40}I {\k30}won{\k60}der{\k100} what
Dialogue: 0,0:00:01.00,0:00:07.50,Default,,0,0,0,,{\k90}{\k42}Twin{\kf30}kle, {\ko40}twin{\K35}kle\N{\k50}lit{\k25}tle\hstar{\k}!
Comment: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,{\k50}not sung
Dialogue: 0,0:00:08.00,0:00:09.00,Default,,0,0,0,,Up {\k40}a{\k40}bove {\kt10\k40}the {\k80}world
Dialogue: 1,0:00:08.00,0:00:09.00,Default,,0,0,0,,{\blur3}Up {\k40}a{\k40}bove {\k40}the {\k80}world
Dialogue: 0,0:00:10.250,0:00:11.5,Default,,0,0,0,,{\k25}one {\p1}m 0 0 l 100 0 100 100{\p0}{\k25.5}two\n{\k-25}three {4
Dialogue: 0,0:00:20.00,0:00:19.00,Default,,0,0,0,,{\k10}never
Dialogue: 0,0:0a:20.00,0:00:21.00,Default,,0,0,0,,{\k10}never
Dialogue: 0,0:00:20.00,0:00:21.00,Default
Dialogue: 0,999:00:00.00,999:00:01.00,Default,,0,0,0,,{\k99999999999}far

[Editor State]
Audio File: twinkle.mp3
Dialogue: 0,0:00:30.00,0:00:31.00,Default,,0,0,0,,{\k10}not an event
EOF
} > "$a/every-shape"
cat > "$a/templated-three-styles" <<'EOF'
[Script Info]
Title: Kotoba
ScriptType: v4.00+

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour
Style: Romaji,Arial,40,&H00FFFFFF,&H000000FF
Style: Kanji,Arial,40,&H00FFFFFF,&H000000FF
Style: English,Arial,30,&H00FFFFFF,&H000000FF

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Comment: 0,0:00:00.00,0:00:00.00,Romaji,,0,0,0,code once,ci = 0
Comment: 0,0:00:00.00,0:00:05.00,Romaji,,0,0,0,template syl,{\pos($x,$y)\t($start,$end,\1c&H0000FF&)}
Comment: 0,0:00:01.00,0:00:04.00,Romaji,,0,0,0,karaoke,{\k50}ki{\k50}mi {\kf60}no {\ko40}ko{\k40}to{\k60}ba
Comment: 0,0:00:01.00,0:00:04.00,Kanji,,0,0,0,karaoke,{\k100}君{\kf60}の{\ko40}言{\k100}葉
Dialogue: 0,0:00:01.00,0:00:04.00,English,,0,0,0,,Your words
Dialogue: 1,0:00:01.00,0:00:01.50,Romaji,,0,0,0,fx,{\an5\pos(100,200)\k50}ki
Dialogue: 1,0:00:01.50,0:00:02.00,Romaji,,0,0,0,fx,{\an5\pos(120,200)\k50}mi
Comment: 0,0:00:05.00,0:00:08.00,Romaji,,0,0,0,karaoke,{\k30}{\k70}ai{\k100}shi{\k50}te
Comment: 0,0:00:05.00,0:00:08.00,Kanji,,0,0,0,karaoke,{\k100}愛{\k100}し{\k50}て
Dialogue: 0,0:00:05.00,0:00:08.00,English,,0,0,0,,I love you
EOF
printf '[Script Info]\r\nScriptType: v4.00\r\n\r\n[V4 Styles]\r\nFormat: Name, Fontname, Fontsize\r\nStyle: *Default,Arial,20\r\n\r\n[Events]\r\nFormat: Marked, Start, End\r\nDialogue: Marked=0,0:00:01.00,0:00:03.00,*Default,NTP,0000,0000,0000,,{\\k50}Old {\\k150}times\r\n' |
  iconv -f UTF-8 -t UTF-16 > "$a/ssa-utf-16"
printf '[Script Info]\nTitle: <untitled>\n[Events]\nFormat: Layer, Style, End, Start, Effect, Text\nDialogue: 0,Default,0:00:04.00,0:00:02.00,,{\\k100}Hey, {\\k50}you, (there) 100%%\nDialogue: 0,Default,0:00:10.00,0:00:06.00,,First row\\NCaf\351 row\n' > "$a/reordered-windows-1252"
# MIDI files for the karaoke importer, built byte by byte: a .kar with its header in the first track,
# a Words track and tempo changes in two tracks; lyric events in Windows-1252 among notes in running
# status (format 0), the same with a SMPTE division and inside a RIFF RMID file; a format 2 file in UTF-8.
k="$here/fuzz_kar"
mkdir -p "$k"
/usr/bin/python3 - "$k" <<'PY'
import struct, sys
out = sys.argv[1]
def vlq(n):
    b = [n & 0x7f]; n >>= 7
    while n: b.append(0x80 | (n & 0x7f)); n >>= 7
    return bytes(reversed(b))
def meta(t, d): return bytes([0xFF, t]) + vlq(len(d)) + d
def trk(evs):
    e = b''.join(vlq(d) + x for d, x in evs) + vlq(0) + meta(0x2F, b'')
    return b'MTrk' + struct.pack('>I', len(e)) + e
def smf(fmt, div, tracks): return b'MThd' + struct.pack('>IHHH', 6, fmt, len(tracks), div) + b''.join(tracks)
def save(name, data): open(out + '/' + name, 'wb').write(data)
T = lambda s: meta(1, s); L = lambda s: meta(5, s)
cond = trk([(0, meta(3, b'Tempo')), (0, T(b'@KMIDI KARAOKE FILE')), (0, meta(0x51, bytes([9, 0x27, 0xC0]))),
            (0, bytes([0xF0, 5, 0x7E, 0x7F, 9, 1, 0xF7])), (0, bytes([0xF7, 2, 0xF3, 1])), (384, meta(0x51, bytes([6, 0x1A, 0x80])))])
words = trk([(0, meta(3, b'Words')), (0, T(b'@V0100')), (0, T(b'@TTwinkle Twinkle')), (0, T(b'@TTraditional')),
             (97, T(b'\\Twin')), (48, T(b'kle ')), (48, T(b'twin')), (48, T(b'kle ')), (48, T(b'lit')), (48, T(b'tle ')),
             (48, T(b'star')), (96, T(b'/How')), (96, T(b' I')), (96, T(b' won')), (96, T(b'der'))])
mel = trk([(0, bytes([0xC0, 0])), (97, bytes([0x90, 0x3C, 0x64])), (48, bytes([0x3C, 0])), (0, bytes([0x3E, 0x64])),
           (48, bytes([0x3E, 0])), (575, meta(0x51, bytes([0x0B, 0x71, 0xB0])))])
save('kar-tempo-changes', smf(1, 96, [cond, words, mel]))
ev = [(0, T(b'Made by hand')), (0, bytes([0xC1, 5]))]
tick = 0
for k, (t, s) in enumerate(zip([120, 157, 211, 250, 301, 349, 480, 601],
                               [b'\xC9toi', b'le, ', b'l\xE0', b'-haut\r', b'\x93Bril', b'le\x94\n', b'/Fin', b'\r'])):
    ev += [(t - tick, L(s)), (0, bytes([0x91, 0x40, 0x50]) if k == 0 else bytes([0x40, 0x50])), (10, bytes([0x40, 0]))]
    tick = t + 10
f0 = smf(0, 120, [trk(ev)])
save('format-0-lyrics-cp1252', f0)
save('smpte', smf(0, 0xE728, [trk(ev)]))
info = b'INFOsomething'
body = b'RMID' + b'LIST' + struct.pack('<I', len(info)) + info + b'\0' + b'data' + struct.pack('<I', len(f0)) + f0
save('rmid', b'RIFF' + struct.pack('<I', len(body)) + body)
save('format-2-utf8', smf(2, 480, [trk([(0, L('Grüß '.encode())), (480, L('Gott\r'.encode()))]),
                                   trk([(0, T(b'@TSecond song')), (0, T(b'Zwei'))])]))
PY
