"""Reads the demo song's note lists (notes.txt, bass.txt) into timed notes, for make_song.py and make_script.py.

Both generators take their timing from here, so the song and the highlighting cannot drift apart.
"""

import re

NOTE_OFFSETS = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}


class TuneError(Exception):
    """A note list that cannot be read; the message names the file and line."""


class Note:
    """One note: its onset and length in seconds, frequency in Hz (None for a rest), and syllable."""

    def __init__(self, onset, length, freq, syllable, endsline):
        self.onset = onset
        self.length = length
        self.freq = freq
        self.syllable = syllable
        self.endsline = endsline


def frequency(name):
    """The equal-tempered frequency of a note name such as C5, F#4 or Bb3 (A4 = 440 Hz); None for R."""
    if name == "R":
        return None
    m = re.fullmatch(r"([A-G])([#b]?)(-?\d)", name)
    if not m:
        raise ValueError("not a note name: " + name)
    semis = NOTE_OFFSETS[m.group(1)] + {"": 0, "#": 1, "b": -1}[m.group(2)]
    semis += (int(m.group(3)) - 4) * 12
    return 440.0 * 2 ** (semis / 12)


def read(path, tempo=None):
    """Reads a note list. Returns (tempo in beats per minute, [Note]).

    A "tempo N" line sets the tempo; a file without one takes the tempo given. Raises TuneError on any
    line it cannot read, and when no tempo is known.
    """
    notes = []
    beat = 0.0
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, text in enumerate(lines, 1):
        where = "%s:%d" % (path, number)
        words = text.split()
        if not words:
            if notes:
                notes[-1].endsline = True
            continue
        if words[0].startswith("#"):
            continue
        if words[0] == "tempo":
            try:
                tempo = float(words[1])
            except (IndexError, ValueError):
                raise TuneError(where + ": tempo needs a number")
            if tempo <= 0:
                raise TuneError(where + ": tempo must be above 0")
            continue
        if tempo is None:
            raise TuneError(where + ": a note before any tempo line")
        if len(words) > 3:
            raise TuneError(where + ": expected PITCH BEATS [SYLLABLE]")
        try:
            freq = frequency(words[0])
            beats = float(words[1])
        except (IndexError, ValueError) as e:
            raise TuneError(where + ": " + str(e))
        if beats <= 0:
            raise TuneError(where + ": a note must last more than 0 beats")
        syllable = words[2] if len(words) > 2 else ""
        seconds = 60.0 / tempo
        notes.append(Note(beat * seconds, beats * seconds, freq, syllable, False))
        beat += beats
    if notes:
        notes[-1].endsline = True
    if tempo is None:
        raise TuneError(path + ": no tempo line")
    return tempo, notes


def lyric_lines(notes):
    """Groups the sung notes into lines of words.

    Returns a list of lines; each line is a list of (word, onset of its first syllable). Notes without a
    syllable are left out, and a line with no sung note does not appear.
    """
    lines, words, word, onset = [], [], "", None
    for n in notes:
        if n.syllable:
            if onset is None:
                onset = n.onset
            if n.syllable.endswith("-"):
                word += n.syllable[:-1]
            else:
                words.append((word + n.syllable, onset))
                word, onset = "", None
        if n.endsline and (words or word):
            if word:
                words.append((word, onset))
                word, onset = "", None
            lines.append(words)
            words = []
    return lines


def end(notes):
    """The time in seconds at which the last note ends."""
    return max((n.onset + n.length for n in notes), default=0.0)


# Seconds the song goes on after its last note ends, for the last pluck and the reverb to die away.
TAIL = 1.5


def load(folder):
    """Reads notes.txt and bass.txt from folder. Returns (tempo, melody, bass, song length in seconds).

    Raises TuneError or OSError when a list cannot be read.
    """
    import os
    tempo, melody = read(os.path.join(folder, "notes.txt"))
    _, bass = read(os.path.join(folder, "bass.txt"), tempo)
    return tempo, melody, bass, max(end(melody), end(bass)) + TAIL
