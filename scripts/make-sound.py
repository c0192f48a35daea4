#!/usr/bin/env python3
"""Makes the connection sound that the installer installs and names in "SoundFile".

Output (committed): installer/connect.wav, a short two-note chime (E6 then B6, each with a
soft attack and an exponential decay), 22050 Hz, 16-bit mono PCM: the plain WAVE format that
sndPlaySound plays on every Windows from 95 on.
Only the standard library is used.  Usage: make-sound.py [output file]
"""
import math
import os
import struct
import sys
import wave

RATE = 22050
NOTES = [(1318.5, 0.00, 0.22), (1975.5, 0.14, 0.30)]  # frequency, start, length (seconds)
LENGTH = 0.46
VOLUME = 0.45


def sample(t):
    value = 0.0
    for freq, start, length in NOTES:
        u = t - start
        if 0.0 <= u < length:
            attack = min(1.0, u / 0.006)
            release = min(1.0, (length - u) / 0.02)
            decay = math.exp(-u * 9.0)
            # A little of the octave above gives the bell-like colour.
            tone = math.sin(2 * math.pi * freq * u) + 0.25 * math.sin(4 * math.pi * freq * u)
            value += tone * attack * release * decay
    return value


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "installer", "connect.wav")
    frames = bytearray()
    for i in range(int(RATE * LENGTH)):
        v = max(-1.0, min(1.0, sample(i / RATE) * VOLUME))
        frames += struct.pack("<h", int(round(v * 32767)))
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    print(f"{out}: {len(frames) // 2} samples, {len(frames) // 2 / RATE:.2f} s")


if __name__ == "__main__":
    main()
