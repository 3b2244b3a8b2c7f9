#!/usr/bin/env python3
"""The logger's segments against an outside capture of the same signal.

    compare_segments.py LOGGER_FOLDER CAPTURE.raw LOGGER.db

CAPTURE.raw is 44100 Hz stereo 16-bit as parec writes it. Each run of real frames (a segment, or
its parts either side of silence filled in for frames the input lost, as its row in Logger.db
says) is found in the capture byte for byte and compared there; a run that is found further on
than where the run before it left off shows frames the input delivered late or lost. Then the
largest sample step of the tone (the left channel) at each joint between two segments.
"""
import array
import glob
import math
import os
import sqlite3
import sys
import wave

folder, capture_path, db = sys.argv[1:4]
con = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
rows = {os.path.basename(p): (result, losses, reason, ppm)
        for p, result, losses, reason, ppm in con.execute("select path, result, losses, reason, ppm from segments")}
capture = open(capture_path, "rb").read()
files = sorted(glob.glob(os.path.join(folder, "*", "*.wav")))
segments = []
for f in files:
    with wave.open(f) as w:
        assert w.getframerate() == 44100 and w.getnchannels() == 2 and w.getsampwidth() == 2
        segments.append((os.path.basename(f), w.readframes(w.getnframes())))
joined = b"".join(d for _, d in segments)
print(f"{len(files)} segments, {len(joined) // 4} frames ({len(joined) / 4 / 44100:.1f} s) joined; "
      f"parec captured {len(capture) // 4} frames ({len(capture) / 4 / 44100:.1f} s)")
for start, end, cause in con.execute("select start_ms, end_ms, cause from gaps"):
    print(f"  span without a file {start}..{end}: {cause}")


def find(piece, hint):
    """The capture frame a piece begins at, searched from a little before `hint`; -1: not there."""
    for lo in (max(0, hint - 44100 * 5), 0):
        at = capture.find(piece, lo * 4)
        while at >= 0 and at % 4:
            at = capture.find(piece, at + 1)
        if at >= 0:
            return at // 4
    return -1


expected = None  # the capture frame the next segment should begin at, if nothing was shifted
equal_frames = compared_frames = 0
for name, data in segments:
    result, losses, reason, ppm = rows.get(name, ("?", "", "", None))
    fills = [(int(p), int(n)) for p, n in (x.split(":") for x in losses.split(",") if x)]
    runs, at = [], 0
    for p, n in fills:
        runs.append((at, p))
        at = p + n
    runs.append((at, len(data) // 4))
    notes, begin = [], None
    for a, b in runs:
        if b - a < 4410:
            notes.append(f"frames {a}..{b}: too short to look for")
            continue
        piece = data[a * 4:b * 4]
        # The probe is taken from the middle of the run: its ends may be silence (the player
        # under-ran), which is found anywhere.
        mid = (b - a) // 2 - 2205
        where = find(piece[mid * 4:(mid + 4410) * 4], (expected or 0) + a + mid)
        where = where - mid if where >= 0 else -1
        if where < 0:
            notes.append(f"frames {a}..{b}: not found in the capture")
            continue
        compared = min(len(piece), len(capture) - where * 4) // 4
        same = capture[where * 4:where * 4 + compared * 4] == piece[:compared * 4]
        compared_frames += compared
        equal_frames += compared if same else 0
        shift = "" if expected is None else f", {where - (expected + a):+d} frames from its place"
        notes.append(f"frames {a}..{b} at capture frame {where}: {'equal' if same else 'NOT equal'}"
                     f"{'' if compared * 4 == len(piece) else f' (the capture ends after {compared})'}{shift}")
        if a == 0:
            begin = where
    expected = (begin if begin is not None else (expected or 0)) + len(data) // 4
    rate = "" if ppm is None else f", input {ppm:+.0f} ppm"
    print(f"  {name}: {len(data) // 4} frames, {result}{' (' + reason + ')' if reason else ''}{rate}")
    for n in notes:
        print(f"      {n}")
print(f"frames equal to the capture: {equal_frames} of {compared_frames} compared")

samples = array.array("h", joined)
left = samples[0::2]
# The tone's own largest step, over the longest segment with nothing filled in (the player's
# under-runs, silence in the capture too, show as steps up to the tone's amplitude).
whole = [i for i, (n, _) in enumerate(segments) if not rows.get(n, ("", "x", ""))[1]]
pick = max(whole or [0], key=lambda i: len(segments[i][1]))
begin = sum(len(d) // 4 for _, d in segments[:pick])
steps = sorted(abs(left[i] - left[i - 1]) for i in range(begin + 1, begin + len(segments[pick][1]) // 4))
tone_step = steps[-1] if steps else 0
print(f"largest step of the tone within {segments[pick][0]}: {tone_step}, its 99.99th percentile "
      f"{steps[int(len(steps) * 0.9999)] if steps else 0} "
      f"(a 440 Hz sine of amplitude {0.4 * 32767:.0f}: {2 * math.pi * 440 / 44100 * 0.4 * 32767:.0f} at most)")
joints, at = [], 0
for _, d in segments[:-1]:
    at += len(d) // 4
    joints.append(at)
for j in joints:
    print(f"  joint at frame {j}: step {abs(left[j] - left[j - 1])} (tone); either side "
          f"{abs(left[j - 1] - left[j - 2])} and {abs(left[j + 1] - left[j])}")
print(f"largest step at a joint (tone): {max((abs(left[j] - left[j - 1]) for j in joints), default=0)}")
