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

make.sh then checks the script with tralune-check, which reads and measures it exactly as tralune
does: every line short enough, every character in the font, every line narrower than the screen.
"""

import os
import sys

sys.dont_write_bytecode = True   # no __pycache__ left in the demo folder
import tune  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURE = "night.pcx"
END_TEXT = "Good night!"


def build(lines, last_note_end, song_length):
    """The script's lines, a list of strings, and its length in song time, in seconds.

    lines is tune.lyric_lines' result; last_note_end and song_length are seconds into the song.
    """
    events = []   # (song time in seconds, None for the program's start, [script lines])
    # The first line is on the screen from the start, before the song begins.
    first = " ".join(w for w, _ in lines[0])
    events.append((None, ["setimg(%s)" % PICTURE, "text(%s)" % first]))
    for i, words in enumerate(lines):
        for j, (_, onset) in enumerate(words):
            shown = " ".join("%" + w + "%" if k == j else w for k, (w, _) in enumerate(words))
            cmds = ["text(%s)" % shown]
            # A new line repaints the picture under it; the first line is already there.
            if j == 0 and i > 0:
                cmds.insert(0, "setimg(%s)" % PICTURE)
            events.append((onset, cmds))
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
    except (OSError, tune.TuneError) as e:
        sys.exit("make_script.py: %s" % e)
    lines = tune.lyric_lines(notes)
    if not lines:
        sys.exit("make_script.py: notes.txt has no sung syllables")
    script, clock = build(lines, tune.end(notes), song_length)
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(script) + "\n")
    print("make_script.py: wrote %s (%d lines, %.1f s of song)" % (out, len(script), clock))


if __name__ == "__main__":
    main()
