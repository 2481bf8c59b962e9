#!/usr/bin/python3
"""Writes the demo's script.txt from notes.txt: the lyrics, word by word, in time with the song.

Usage: make_script.py [OUTPUT]   (default script.txt beside this script)

Timing plan. The script keeps to the song's clock: the word sung at onset t of the song is highlighted
by a line "at(t)", which waits until the song has played t seconds. What each line costs (its screen
refresh, a picture decoded) is then taken out of the next wait instead of adding up behind the song.

Painting plan. The picture covers the whole screen, its bottom rows a plain band for the text. Text
is drawn over whatever the screen holds, so a new lyric line repaints the picture first (one
"setimg" line) and then draws its text. Within a lyric line the next word only needs a new "text"
line: the same characters land on the same columns, so every ink pixel of the previous line is drawn
again, in its own colour or highlighted.

Checks every line against what tralune reads: at most 99 characters, only characters the font has
(letters, digits, "!", "?", space), and, when the font image is there, narrower than the screen.
Exits non-zero with the reason when a check fails.
"""

import os
import sys

sys.dont_write_bytecode = True   # no __pycache__ left in the demo folder
import tune  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURE = "night.pcx"
END_TEXT = "Good night!"
SCREEN_WIDTH = 640
MAX_LINE = 99
FONT_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!? ")


def glyph_widths(path):
    """The width of each of the 64 glyph slots of a tralune font image, read from its marker row.

    Returns None when the file is missing; raises ValueError when it is no 8-bit PCX.
    """
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return None
    if len(data) < 128 + 768 or data[0] != 10 or data[3] != 8:
        raise ValueError(path + " is not an 8-bit PCX image")
    width = int.from_bytes(data[8:10], "little") - int.from_bytes(data[4:6], "little") + 1
    palette = data[-768:]
    row, i = [], 128
    while len(row) < width and i < len(data) - 768:
        c = data[i]
        i += 1
        if c >= 0xC0:
            row += [data[i]] * (c & 0x3F)
            i += 1
        else:
            row.append(c)
    colour = [palette[3 * v:3 * v + 3] for v in row[:width]]
    widths, run = [], 0
    for c in colour:
        if c == colour[0]:
            run += 1
        else:
            widths.append(run)
            run = 0
    return (widths + [0] * 64)[:64]


def slot(ch):
    if "A" <= ch <= "Z":
        return ord(ch) - ord("A")
    if "a" <= ch <= "z":
        return ord(ch) - ord("a") + 26
    if "0" <= ch <= "9":
        return ord(ch) - ord("0") + 52
    return {"!": 62, "?": 63, " ": 0}[ch]


def check_text(text, widths):
    bad = sorted(set(text) - FONT_CHARS)
    if bad:
        raise ValueError("the font has no glyph for %s in %r" % (" ".join(map(repr, bad)), text))
    if widths is not None:
        columns = sum(widths[slot(ch)] for ch in text)
        if columns >= SCREEN_WIDTH:
            raise ValueError("%r is %d columns wide; tralune draws nothing %d or wider" %
                             (text, columns, SCREEN_WIDTH))


def build(lines, last_note_end, song_length, widths):
    """The script's lines, a list of strings, and its length in song time, in seconds.

    lines is tune.lyric_lines' result; last_note_end and song_length are seconds into the song.
    """
    events = []   # (song time in seconds, None for the program's start, [script lines])
    # The first line is on the screen from the start, before the song begins.
    first = " ".join(w for w, _ in lines[0])
    events.append((None, ["setimg(%s)" % PICTURE, "text(%s)" % first]))
    for i, words in enumerate(lines):
        plain = " ".join(w for w, _ in words)
        check_text(plain, widths)
        for j, (_, onset) in enumerate(words):
            shown = " ".join("%" + w + "%" if k == j else w for k, (w, _) in enumerate(words))
            cmds = ["text(%s)" % shown]
            # A new line repaints the picture under it; the first line is already there.
            if j == 0 and i > 0:
                cmds.insert(0, "setimg(%s)" % PICTURE)
            events.append((onset, cmds))
    check_text(END_TEXT, widths)
    events.append((last_note_end, ["setimg(%s)" % PICTURE, "text(%s)" % END_TEXT]))
    # The run ends with the song, so the display closes as the last sound dies away.
    events.append((song_length, []))
    out = [
        "; Twinkle, Twinkle, Little Star: the tralune demo, word by word in time with gnusong.mp3.",
        "; Made by make_script.py from notes.txt; change that and run make.sh rather than this file.",
    ]
    for when, cmds in events:
        if when is not None:
            out.append("at(%.3f)" % when)
        out += cmds
    return out, song_length


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "script.txt")
    try:
        _, notes, _, song_length = tune.load(HERE)
        widths = glyph_widths(os.path.join(HERE, "font.pcx"))
    except (OSError, ValueError, tune.TuneError) as e:
        sys.exit("make_script.py: %s" % e)
    lines = tune.lyric_lines(notes)
    if not lines:
        sys.exit("make_script.py: notes.txt has no sung syllables")
    try:
        script, clock = build(lines, tune.end(notes), song_length, widths)
    except ValueError as e:
        sys.exit("make_script.py: %s" % e)
    for text in script:
        if len(text) > MAX_LINE:
            sys.exit("make_script.py: a line longer than %d characters: %s" % (MAX_LINE, text))
    with open(out, "w", encoding="ascii") as f:
        f.write("\n".join(script) + "\n")
    print("make_script.py: wrote %s (%d lines, %.1f s of song)" % (out, len(script), clock))


if __name__ == "__main__":
    main()
