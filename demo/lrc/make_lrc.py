#!/usr/bin/python3
"""Writes the demo song's lyrics as an enhanced LRC file, a stamp before every word, from ../notes.txt.

Usage: make_lrc.py [OUTPUT]   (default twinkle.lrc beside this script)

The stamps come from the same note list as the song itself: a word's stamp is the onset of its first
syllable, and a bare stamp at the end of each line says when its last note ends. tralune-lrc turns the
file into a script; see the README.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True   # no __pycache__ left in the demo folder
sys.path.insert(0, os.path.dirname(HERE))
import tune  # noqa: E402


def stamp(seconds):
    """[mm:ss.xx] without the brackets: minutes, seconds and hundredths."""
    hundredths = round(seconds * 100)
    return "%02d:%02d.%02d" % (hundredths // 6000, hundredths // 100 % 60, hundredths % 100)


def line_ends(notes):
    """The time at which each line's last sung note ends, in order."""
    ends, last = [], None
    for n in notes:
        if n.syllable:
            last = n.onset + n.length
        if n.endsline and last is not None:
            ends.append(last)
            last = None
    return ends


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "twinkle.lrc")
    try:
        _, notes, _, _ = tune.load(os.path.dirname(HERE))
    except (OSError, tune.TuneError) as e:
        sys.exit("make_lrc.py: %s" % e)
    lines = tune.lyric_lines(notes)
    text = ["[ti:Twinkle, Twinkle, Little Star]", "[ar:Traditional]",
            "[re:tralune demo/lrc/make_lrc.py, from demo/notes.txt]"]
    for words, end in zip(lines, line_ends(notes)):
        timed = " ".join("<%s>%s" % (stamp(onset), word) for word, onset in words)
        text.append("[%s]%s <%s>" % (stamp(words[0][1]), timed, stamp(end)))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(text) + "\n")
    print("make_lrc.py: wrote %s (%d lines)" % (out, len(lines)))


if __name__ == "__main__":
    main()
