#!/usr/bin/python3
# Makes PCX pictures with real writers (ImageMagick and Pillow) for the decoder tests, and beside each
# one the pixels that the same writer reads back from it.
#
# Usage: make_real_pcx.py OUTDIR CASE...
#   CASE is WRITER:PATTERN:WIDTHxHEIGHT, for example im:flat:641x481.
#   For each case it writes OUTDIR/WRITER-PATTERN-WIDTHxHEIGHT.pcx, made by the writer from the
#   pattern, and OUTDIR/WRITER-PATTERN-WIDTHxHEIGHT.rgb, the writer's own reading of that file as
#   width * height red, green, blue bytes, top row first.
# Exits 1 with a message on standard error when a writer fails or a case is malformed.
#
# Writers:
#   im          /usr/bin/convert SRC -type Palette OUT.pcx
#   im256       /usr/bin/convert SRC -colors 256 -type Palette OUT.pcx
#   im16        /usr/bin/convert SRC -colors 16 -type Palette OUT.pcx
#   imnodither  /usr/bin/convert SRC +dither -colors 256 -type Palette OUT.pcx
#   im24        /usr/bin/convert SRC -type TrueColor OUT.pcx                   (24-bit: 8 bits x 3 planes)
#   imalpha     /usr/bin/convert SRC -alpha set -channel A -evaluate set 50% +channel OUT.pcx
#                                                                   (8 bits x 4 planes, half transparent)
#   immono      /usr/bin/convert SRC -monochrome -set colorspace sRGB -type Palette OUT.pcx
#                                                                   (1 bit x 1 plane, and a palette at the end)
#   imraw       /usr/bin/convert SRC -type Palette -compress None OUT.pcx      (8-bit, not run-length coded)
#   imraw24     /usr/bin/convert SRC -type TrueColor -compress None OUT.pcx    (24-bit, not run-length coded)
#   pil         Pillow: img.convert('P').save(OUT.pcx)   (web palette, error diffusion)
#   piladaptive Pillow: img.convert('P', palette=ADAPTIVE, colors=256).save(OUT.pcx)
#   pil24       Pillow: img.save(OUT.pcx)                (24-bit)
#   pilgrey     Pillow: img.convert('L').save(OUT.pcx)   (8-bit with a grey palette)
#   pilmono     Pillow: img.convert('1').save(OUT.pcx)   (1 bit x 1 plane, error diffusion)
# ImageMagick reads its files back with "/usr/bin/convert OUT.pcx -depth 8 rgb:-", Pillow with
# Image.open(OUT.pcx).convert('RGB').tobytes().
#
# Patterns (all but grey contain colour: ImageMagick writes grey-only pictures as 24-bit, 3-plane PCX):
#   flat      bands two rows high in three colours, a stripe a quarter of the way across, and the
#             last three columns of each row in the colour the next row starts with, so rows end in
#             a run that a writer could carry into the next row. Wide pictures have runs far longer
#             than 63. The colours are in the web palette, so Pillow's error diffusion keeps them flat.
#   gradient  red rising to the right, green rising downwards, blue falling with both: far more than
#             256 colours in the large sizes, quantised by the writer.
#   noise     random colours from a fixed seed: nearly every pixel differs from its neighbour, and
#             palette indexes of 192 and above appear as single pixels.
#   grey      the gradient's red as a grey, with a seeded noise of up to 16 levels.
import os
import random
import subprocess
import sys

# Web-palette colours (components multiples of 51).
FLAT = [(204, 51, 51), (51, 153, 51), (51, 51, 204), (255, 204, 0), (153, 0, 153)]


def flat(w, h):
    out = bytearray()
    stripe = range(w // 4, w // 4 + max(w // 8, 1)) if w >= 8 else range(0)
    tail = min(3, w // 2)
    for y in range(h):
        base = FLAT[(y // 2) % 3]
        nextbase = FLAT[((y + 1) // 2) % 3]
        for x in range(w):
            if x >= w - tail:
                c = nextbase
            elif x in stripe:
                c = FLAT[3]
            else:
                c = base
            out += bytes(c)
    return bytes(out)


def gradient(w, h):
    out = bytearray()
    for y in range(h):
        g = y * 255 // max(h - 1, 1)
        for x in range(w):
            r = x * 255 // max(w - 1, 1)
            out += bytes((r, g, 255 - (r + g) // 2))
    return bytes(out)


def noise(w, h):
    return random.Random(20240611 + w * 1000 + h).randbytes(w * h * 3)


def grey(w, h):
    rng = random.Random(7 + w * 1000 + h)
    out = bytearray()
    for y in range(h):
        for x in range(w):
            out += bytes((min(255, x * 255 // max(w - 1, 1) + rng.randrange(16)),) * 3)
    return bytes(out)


PATTERNS = {'flat': flat, 'gradient': gradient, 'noise': noise, 'grey': grey}

IM_OPTIONS = {
    'im': ['-type', 'Palette'],
    'im256': ['-colors', '256', '-type', 'Palette'],
    'im16': ['-colors', '16', '-type', 'Palette'],
    'imnodither': ['+dither', '-colors', '256', '-type', 'Palette'],
    'im24': ['-type', 'TrueColor'],
    'imalpha': ['-alpha', 'set', '-channel', 'A', '-evaluate', 'set', '50%', '+channel'],
    'immono': ['-monochrome', '-set', 'colorspace', 'sRGB', '-type', 'Palette'],
    'imraw': ['-type', 'Palette', '-compress', 'None'],
    'imraw24': ['-type', 'TrueColor', '-compress', 'None'],
}

# What each Pillow writer makes of the RGB picture before saving it.
PIL_MODES = {'pil': 'P', 'piladaptive': 'P', 'pil24': 'RGB', 'pilgrey': 'L', 'pilmono': '1'}


def fail(message):
    sys.stderr.write(message + '\n')
    sys.exit(1)


def run(cmd):
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        fail('%s failed (%d): %s' % (' '.join(cmd), done.returncode, done.stderr.decode(errors='replace')))
    return done.stdout


def make_im(options, rgb, w, h, base):
    src = base + '.src.ppm'
    with open(src, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h) + rgb)
    run(['/usr/bin/convert', src] + options + [base + '.pcx'])
    os.remove(src)
    back = run(['/usr/bin/convert', base + '.pcx', '-depth', '8', 'rgb:-'])
    with open(base + '.rgb', 'wb') as f:
        f.write(back)


def make_pil(writer, rgb, w, h, base):
    from PIL import Image
    img = Image.frombytes('RGB', (w, h), rgb)
    if writer == 'piladaptive':
        img = img.convert('P', palette=Image.Palette.ADAPTIVE, colors=256)
    elif PIL_MODES[writer] != 'RGB':
        img = img.convert(PIL_MODES[writer])
    img.save(base + '.pcx')
    with Image.open(base + '.pcx') as back:
        with open(base + '.rgb', 'wb') as f:
            f.write(back.convert('RGB').tobytes())


def main():
    if len(sys.argv) < 3:
        fail('usage: make_real_pcx.py OUTDIR WRITER:PATTERN:WIDTHxHEIGHT...')
    outdir = sys.argv[1]
    for case in sys.argv[2:]:
        try:
            writer, pattern, size = case.split(':')
            w, h = (int(n) for n in size.split('x'))
        except ValueError:
            fail('malformed case ' + case)
        if pattern not in PATTERNS or w < 1 or h < 1:
            fail('unknown pattern or size in ' + case)
        rgb = PATTERNS[pattern](w, h)
        base = os.path.join(outdir, '%s-%s-%dx%d' % (writer, pattern, w, h))
        if writer in IM_OPTIONS:
            make_im(IM_OPTIONS[writer], rgb, w, h, base)
        elif writer in PIL_MODES:
            make_pil(writer, rgb, w, h, base)
        else:
            fail('unknown writer in ' + case)


main()
