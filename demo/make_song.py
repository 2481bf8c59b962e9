#!/usr/bin/python3
"""Synthesizes the demo song from notes.txt and bass.txt with sox and encodes it to gnusong.mp3 with lame.

Usage: make_song.py [OUTPUT]   (default gnusong.mp3 beside this script)

Every note starts on the sample its onset falls on, counted from the song's start, so rounding never
adds up along the song: the highlighting in script.txt, timed from the same lists, stays in step to the
end. The song starts with its first beat at the first sample (no leading silence); lame's encoder
delay is recorded in the file's header and skipped by the player. sox runs in its repeatable mode
(-R), which seeds the noise the plucks start from, so the same lists always give the same file.
Exits non-zero, with the failing command's message, when sox or lame is missing or fails.
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True   # no __pycache__ left in the demo folder
import tune  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100


def run(args):
    try:
        subprocess.run(args, check=True)
    except FileNotFoundError:
        sys.exit("make_song.py: %s is not installed (Debian package %s)" % (args[0], args[0]))
    except subprocess.CalledProcessError as e:
        sys.exit("make_song.py: %s failed with status %d" % (" ".join(args), e.returncode))


def render(notes, folder, name, voice):
    """Writes one voice as a WAV file of whole notes laid end to end; returns its path."""
    parts = []
    for i, n in enumerate(notes):
        start = round(n.onset * RATE)
        samples = round((n.onset + n.length) * RATE) - start
        part = os.path.join(folder, "%s%03d.wav" % (name, i))
        # The rate goes on the null input too: sox otherwise synthesizes at 48 kHz and converts, and a
        # length given in samples would come out short.
        cmd = ["sox", "-R", "-r", str(RATE), "-n", "-c", "1", "-b", "16", part, "synth", "%ds" % samples]
        if n.freq is None:
            cmd += ["sine", "0", "vol", "0"]
        else:
            cmd += voice(n, samples)
        run(cmd)
        parts.append(part)
    out = os.path.join(folder, name + ".wav")
    run(["sox", "-R"] + parts + [out])
    return out


def melody_voice(n, samples):
    # A plucked string with a short fade at both ends, so neighbouring notes never click.
    return ["pluck", "%.3f" % n.freq, "fade", "h", "0.004", "%ds" % samples, "0.06", "vol", "0.7"]


def bass_voice(n, samples):
    # A softer pluck an octave or two down, under the melody.
    return ["pluck", "%.3f" % n.freq, "fade", "h", "0.004", "%ds" % samples, "0.1", "vol", "0.35"]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "gnusong.mp3")
    try:
        tempo, melody, bass, length = tune.load(HERE)
    except (OSError, tune.TuneError) as e:
        sys.exit("make_song.py: %s" % e)
    with tempfile.TemporaryDirectory() as folder:
        top = render(melody, folder, "melody", melody_voice)
        low = render(bass, folder, "bass", bass_voice)
        voice_end = max(round(tune.end(melody) * RATE), round(tune.end(bass) * RATE))
        mix = os.path.join(folder, "mix.wav")
        # The shorter voice is padded to the longer; a little reverb, the whole normalized, and a
        # silent tail for the reverb and the last pluck to ring out.
        run(["sox", "-R", "-m", top, low, mix, "reverb", "30", "50", "60", "gain", "-n", "-1",
             "pad", "0", "%ds" % (round(length * RATE) - voice_end)])
        run(["lame", "--quiet", "-m", "m", "-b", "64", "--resample", "44.1",
             "--tt", "Twinkle, Twinkle, Little Star", "--ta", "Traditional", "--tc", "tralune demo",
             mix, out])
    print("make_song.py: wrote %s (%.1f s, tempo %g)" % (out, length, tempo))


if __name__ == "__main__":
    main()
