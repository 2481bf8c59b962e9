#!/usr/bin/python3
"""Makes CD+G streams shaped like those of karaoke discs, for the tests of tralune-cdg.

There is no rip of a real karaoke disc on the machines these tests run on, and none may be fetched,
so these streams are made here. They are built the way discs build their screens, from what the
format allows, not copied from any disc: whether every disc does each of these things the same way
is not known here.

  - the start: a Memory Preset sent 16 times with repeat counts 0 to 15, a Border Preset, both
    halves of the colour table;
  - a title and lyric lines drawn as Tile Blocks, each character two tiles tall (the glyphs are
    made-up patterns, one per character, not a real font);
  - each lyric line highlighted by a wipe: Tile Block XOR packets column by column, one pixel column
    of a character at a time, the XOR colour turning text colour into highlight colour;
  - colour-table fades in and out, a step every few packets;
  - smooth scrolling: Scroll Copy and Scroll Preset with the fine offsets stepping through 0-5 and
    0-11 in all four directions, both axes in one instruction, new text drawn into the strip a
    preset scroll uncovered;
  - between all of these, packets that change nothing shown, as in a rip: empty packets, packets of
    other subcode modes, Define Transparent Colour, instructions the format does not have, tiles
    outside the screen; the two high bits of many bytes set, as rips keep them; a partial packet at
    the end.

usage: make_cdg.py [--lines N] STREAM SEED

Writes the stream and prints, one a line, "COUNT NAME": the packet count at which each part of it
ends, so that a test can look at the picture there and half-way through.
"""
import random
import sys

PACKET = 24


class Stream:
    def __init__(self, rng):
        self.rng = rng
        self.packets = []
        self.parts = []

    def packet(self, instruction, data, mode=9):
        p = [mode, instruction, 0, 0] + list(data) + [0] * (16 - len(data)) + [0, 0, 0, 0]
        # Rips keep the subcode's other channels in the two high bits: any value there is read as 0.
        if self.rng.random() < 0.4:
            p = [b | (self.rng.randrange(4) << 6) for b in p]
        self.packets.append(bytes(p))
        self.noise()

    def noise(self):
        """Now and then a packet that must change nothing shown."""
        r = self.rng.random()
        if r < 0.15:
            self.packets.append(bytes(PACKET))
        elif r < 0.18:
            # Another subcode mode: the first byte & 0x3F is not 9.
            mode = self.rng.choice([0, 8, 10, 0x38, 0x3F]) | (self.rng.randrange(4) << 6)
            self.packets.append(bytes([mode] + [self.rng.randrange(256) for _ in range(PACKET - 1)]))
        elif r < 0.20:
            instruction = self.rng.choice([0, 3, 7, 28, 39, 63])
            self.packets.append(bytes([9, instruction, 0, 0] + [self.rng.randrange(64) for _ in range(20)]))
        elif r < 0.21:
            # A tile outside the 50x18 screen is skipped, XOR or not.
            row, column = self.rng.choice([(18, 3), (31, 0), (2, 50), (0, 63)])
            data = [1, 2, row, column] + [0x3F] * 12
            self.packets.append(bytes([9, self.rng.choice([6, 38]), 0, 0] + data + [0] * 4))

    def mark(self, name):
        self.parts.append((len(self.packets), name))

    def preset(self, colour):
        for repeat in range(16):
            self.packet(1, [colour, repeat])

    def border(self, colour):
        self.packet(2, [colour])

    def table(self, colours):
        """Loads all 16 entries, each (r, g, b) of 4 bits."""
        for half, instruction in ((0, 30), (8, 31)):
            data = []
            for r, g, b in colours[half:half + 8]:
                data += [(r << 2) | (g >> 2), ((g & 3) << 4) | b]
            self.packet(instruction, data)

    def tile(self, colour0, colour1, row, column, rows, xor=False):
        self.packet(38 if xor else 6, [colour0, colour1, row, column] + list(rows))

    def scroll(self, colour, hcommand, hoffset, vcommand, voffset, copy):
        self.packet(24 if copy else 20, [colour, (hcommand << 4) | hoffset, (vcommand << 4) | voffset])


def glyph(ch):
    """A made-up 6x24 pattern for a character, as 24 rows of 6 bits: blank for a space, else a block
    with its own pattern in columns 0-4 of rows 3-20, column 5 left as the gap between letters."""
    if ch == " ":
        return [0] * 24
    r = random.Random(ord(ch) * 7919)
    rows = [0] * 24
    for y in range(3, 21):
        rows[y] = r.randrange(1, 32) << 1
    return rows


def text(s, line, row, column, ink, paper):
    for i, ch in enumerate(line):
        g = glyph(ch)
        for half in range(2):
            s.tile(paper, ink, row + half, column + i, g[half * 12:half * 12 + 12])


def wipe(s, line, row, column, ink, highlight):
    """Turns the line's ink into highlight a pixel column at a time: XOR of each glyph's column."""
    for i, ch in enumerate(line):
        if ch == " ":
            continue
        g = glyph(ch)
        for x in range(6):
            bit = 0x20 >> x
            for half in range(2):
                rows = [b & bit for b in g[half * 12:half * 12 + 12]]
                s.tile(0, ink ^ highlight, row + half, column + i, rows, xor=True)


def fade(s, start, end, steps):
    for step in range(1, steps + 1):
        s.table([tuple((a * (steps - step) + b * step) // steps for a, b in zip(c0, c1))
                 for c0, c1 in zip(start, end)])


def words(rng, n):
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'!?,"
    return " ".join("".join(rng.choice(letters) for _ in range(rng.randrange(2, 7)))
                    for _ in range(n))[:40]


def make(seed, lines):
    rng = random.Random(seed)
    s = Stream(rng)
    black = [(0, 0, 0)] * 16
    # 16 different colours, so that a wrong index never passes for a right one.
    colours = rng.sample([(r, g, b) for r in range(16) for g in range(16) for b in range(16)], 16)
    paper, ink, highlight = 0, rng.randrange(1, 8), rng.randrange(8, 16)

    s.preset(paper)
    s.border(rng.randrange(16))
    s.table(black)
    s.mark("start")

    for i in range(2):
        line = words(rng, 3)
        text(s, line, 3 + 3 * i, (50 - len(line)) // 2, ink, paper)
    s.mark("title")
    fade(s, black, colours, 8)
    s.mark("fade-in")
    s.preset(paper)

    # The lyric lines, each drawn then wiped; the screen is cleared between pages.
    for n in range(lines):
        if n and n % 2 == 0:
            s.preset(paper)
        line = words(rng, 4)
        row, column = 5 + 5 * (n % 2), rng.randrange(1, 50 - len(line))
        text(s, line, row, column, ink, paper)
        s.mark("line-%d" % n)
        wipe(s, line, row, column, ink, highlight)
        s.mark("wipe-%d" % n)

    # Smooth scrolls: the fine offset steps through its range, then a coarse move of a whole tile
    # takes over with the offset back at its start, so that the picture glides on.
    def glide(hdir, vdir, copy, fill):
        # hdir, vdir: +1 the picture moves left/up (offsets grow), -1 right/down, 0 still.
        for step in range(12):
            hoff = (step // 2) if hdir > 0 else 5 - step // 2 if hdir < 0 else 0
            voff = step if vdir > 0 else 11 - step if vdir < 0 else 0
            s.scroll(fill, 0, hoff, 0, voff, copy)
        hcommand = 2 if hdir > 0 else 1 if hdir < 0 else 0
        vcommand = 2 if vdir > 0 else 1 if vdir < 0 else 0
        s.scroll(fill, hcommand, 0 if hdir > 0 else 5 if hdir < 0 else 0,
                 vcommand, 0 if vdir > 0 else 11 if vdir < 0 else 0, copy)

    glide(0, 1, True, 0)
    s.mark("scroll-copy-up")
    glide(1, 0, True, 0)
    s.mark("scroll-copy-left")
    glide(-1, -1, True, 0)
    s.mark("scroll-copy-right-down")
    fill = rng.randrange(16)
    glide(1, 1, False, fill)
    # New text in the row the preset scroll uncovered at the bottom.
    text(s, words(rng, 2), 16, 2, ink, fill)
    s.mark("scroll-preset-left-up")
    glide(-1, 0, False, rng.randrange(16))
    glide(0, -1, False, rng.randrange(16))
    s.mark("scroll-preset-right-down")

    s.border(rng.randrange(16))
    s.mark("border")
    fade(s, colours, black, 6)
    s.preset(rng.randrange(16))
    s.mark("fade-out")
    return s


def main():
    args = sys.argv[1:]
    lines = 4
    if args[:1] == ["--lines"]:
        lines = int(args[1])
        args = args[2:]
    if len(args) != 2:
        sys.exit(__doc__)
    s = make(int(args[1]), lines)
    with open(args[0], "wb") as f:
        f.write(b"".join(s.packets))
        # A rip cut short in the middle of a packet: the partial packet is not read.
        f.write(bytes([9, 6, 0, 0, 1, 2, 3]))
    for count, name in s.parts:
        print(count, name)


if __name__ == "__main__":
    main()
