#!/usr/bin/python3
"""A plain CD+G renderer, the yardstick for tralune-cdg --frame in the tests.

It is written from the description of the stream alone, as simply as it can be put and without
looking at tralune's decoder, so that the two agree only when both read the stream the same way:

  - a stream is 24-byte packets; only those whose first byte & 0x3F is 9 draw, every byte is read
    & 0x3F, byte 1 is the instruction and bytes 4 to 19 its data d;
  - the screen memory is 300x216 colour indexes (50x18 tiles of 6x12), a table of 16 colours, a
    border colour and a horizontal (0-5) and vertical (0-11) fine scroll offset;
  - what is shown: inside x 6..293, y 12..203 the memory at (x + horizontal offset, y + vertical
    offset); the border colour everywhere else.

usage: cdg_reference.py STREAM OUTPREFIX COUNT...

For each COUNT writes OUTPREFIX-COUNT.raw: the 16 colours of the table as red, green, blue bytes (48
bytes), then the 300x216 colour indexes of the picture shown after the first COUNT packets, row by
row, then the horizontal and the vertical fine offset (a byte each). A trailing partial packet is
ignored.
"""
import sys

WIDTH, HEIGHT = 300, 216
PACKET = 24


class Screen:
    def __init__(self):
        self.memory = [[0] * WIDTH for _ in range(HEIGHT)]
        self.colours = [(0, 0, 0)] * 16
        self.border = 0
        self.hoffset = 0
        self.voffset = 0

    def apply(self, packet):
        if packet[0] & 0x3F != 9:
            return
        instruction = packet[1] & 0x3F
        d = [b & 0x3F for b in packet[4:20]]
        if instruction == 1:
            # A preset with a repeat count other than 0 repeats the one before it: ignored.
            if d[1] & 15 == 0:
                colour = d[0] & 15
                self.memory = [[colour] * WIDTH for _ in range(HEIGHT)]
                self.hoffset = self.voffset = 0
        elif instruction == 2:
            self.border = d[0] & 15
        elif instruction in (6, 38):
            self.tile(d, instruction == 38)
        elif instruction in (20, 24):
            self.scroll(d, instruction == 24)
        elif instruction in (30, 31):
            first = 0 if instruction == 30 else 8
            for i in range(8):
                hi, lo = d[2 * i], d[2 * i + 1]
                red = (hi >> 2) & 15
                green = ((hi & 3) << 2) | ((lo >> 4) & 3)
                blue = lo & 15
                self.colours[first + i] = (red * 17, green * 17, blue * 17)
        # 28 (transparent colour) and anything else change nothing that is shown.

    def tile(self, d, xor):
        colour0, colour1 = d[0] & 15, d[1] & 15
        row, column = d[2] & 31, d[3] & 63
        if row >= 18 or column >= 50:
            return
        for y in range(12):
            bits = d[4 + y]
            line = self.memory[row * 12 + y]
            for x in range(6):
                colour = colour1 if bits & (0x20 >> x) else colour0
                at = column * 6 + x
                line[at] = line[at] ^ colour if xor else colour

    def scroll(self, d, copy):
        colour = d[0] & 15
        h, v = d[1], d[2]
        hcommand, vcommand = (h >> 4) & 3, (v >> 4) & 3
        if hcommand in (1, 2):
            for y in range(HEIGHT):
                line = self.memory[y]
                if hcommand == 1:  # the picture moves 6 pixels right
                    strip = line[WIDTH - 6:] if copy else [colour] * 6
                    self.memory[y] = strip + line[:WIDTH - 6]
                else:  # 6 pixels left
                    strip = line[:6] if copy else [colour] * 6
                    self.memory[y] = line[6:] + strip
        if vcommand in (1, 2):
            m = self.memory
            if vcommand == 1:  # 12 pixels down
                strip = m[HEIGHT - 12:] if copy else [[colour] * WIDTH for _ in range(12)]
                self.memory = strip + m[:HEIGHT - 12]
            else:  # 12 pixels up
                strip = m[:12] if copy else [[colour] * WIDTH for _ in range(12)]
                self.memory = m[12:] + strip
        self.hoffset = h & 7
        self.voffset = v & 15

    def shown(self):
        out = bytearray()
        for y in range(HEIGHT):
            for x in range(WIDTH):
                if 6 <= x < WIDTH - 6 and 12 <= y < HEIGHT - 12:
                    out.append(self.memory[y + self.voffset][x + self.hoffset])
                else:
                    out.append(self.border)
        return out


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        stream = f.read()
    prefix = sys.argv[2]
    counts = sorted(set(int(c) for c in sys.argv[3:]))
    whole = len(stream) // PACKET
    screen = Screen()
    done = 0
    for count in counts:
        while done < min(count, whole):
            screen.apply(stream[done * PACKET:(done + 1) * PACKET])
            done += 1
        with open("%s-%d.raw" % (prefix, count), "wb") as f:
            f.write(bytes(c for rgb in screen.colours for c in rgb))
            f.write(screen.shown())
            f.write(bytes([screen.hoffset, screen.voffset]))


if __name__ == "__main__":
    main()
