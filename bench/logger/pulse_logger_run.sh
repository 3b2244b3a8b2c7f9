#!/bin/sh
# The real logger on the real PortAudio backend, against an outside reader of the same signal:
#   bench/logger/pulse_logger_run.sh [BUILD] [MINUTES]     (default: build beside the sources, 10)
# A private PulseAudio server (the suite's fixture) plays a 440 Hz tone on the left and pink noise
# on the right into its norewinds null sink; `parec` records that sink's monitor while
# tamblor-logger records the same monitor through PortAudio's ALSA "pulse" device in 1-minute
# segments. At the end the segments, joined end to end, are found in parec's capture and compared
# sample by sample over the whole span, and the largest sample step at each joint is printed
# beside the largest step the tone has anywhere (a joint that loses or doubles a frame shows as a
# step larger than that). Needs pulseaudio, pulseaudio-utils (pacat, parec), sox and python3.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
minutes=${2:-10}
logger="$build/logger/tamblor-logger"
[ -x "$logger" ] || { echo "build tamblor-logger first ($logger)"; exit 2; }
fixture="$here/../../tests/audio/devices/pulse_fixture.sh"
work=$(mktemp -d /tmp/tamblor-loggerrun.XXXXXX)
state="$work/pulse.state"
cleanup() {
    [ -n "${player:-}" ] && kill "$player" 2>/dev/null
    [ -n "${recorder:-}" ] && kill "$recorder" 2>/dev/null
    [ -n "${loggerpid:-}" ] && kill "$loggerpid" 2>/dev/null
    sh "$fixture" stop "$state"
}
trap cleanup EXIT INT TERM
sh "$fixture" start "$state" >/dev/null || { echo "no PulseAudio server"; exit 2; }
server=$(sed -n 's/^server=//p' "$state")
sink=$(sed -n 's/^still_sink=//p' "$state")
source=$(sed -n 's/^still_source=//p' "$state")
export PULSE_SERVER="$server" PULSE_SINK="$sink" PULSE_SOURCE="$source"

root="$work/root"
mkdir -p "$root/C/Tamblor"
cat >"$root/C/Tamblor/Tamblor.ini" <<EOF
[Logger]
Device=pulse
Rate=44100
Channels=2
SegmentMinutes=1
Format=wav16
EOF

# The signal, for longer than the run.
seconds=$((minutes * 60 + 180))
sox -q -n -r 44100 -c 2 -b 16 -e signed-integer -t raw - synth "$seconds" sine 440 pinknoise vol 0.4 |
    pacat --raw --device="$sink" --rate=44100 --channels=2 --format=s16le --latency-msec=50 &
player=$!
sleep 1
parec --raw --device="$source" --rate=44100 --channels=2 --format=s16le --latency-msec=20 >"$work/capture.raw" &
recorder=$!
sleep 2
start=$(date +%s)
TAMBLOR_ROOT="$root" "$logger" >"$work/logger.log" 2>&1 &
loggerpid=$!
# The run, then on to 5 s past the next minute so that the last segment is a whole one too.
sleep $((minutes * 60))
now=$(date +%s)
sleep $((65 - now % 60))
kill -TERM "$loggerpid"
wait "$loggerpid"
status=$?
loggerpid=
sleep 2
kill "$recorder"; recorder=
kill "$player"; player=
echo "logger ran $(( $(date +%s) - start )) s and ended with status $status; its output:"
sed 's/^/  /' "$work/logger.log"

python3 - "$root/C/Tamblor/Logger" "$work/capture.raw" "$root/C/Tamblor/Logger.db" <<'EOF'
import array, glob, math, os, sqlite3, sys, wave
folder, capture_path, db = sys.argv[1:4]
files = sorted(glob.glob(os.path.join(folder, "*", "*.wav")))
segments, joints, joined = [], [], bytearray()
for f in files:
    with wave.open(f) as w:
        assert w.getframerate() == 44100 and w.getnchannels() == 2 and w.getsampwidth() == 2
        data = w.readframes(w.getnframes())
    if joined:
        joints.append(len(joined) // 4)
    segments.append((os.path.basename(f), len(data) // 4))
    joined += data
capture = open(capture_path, "rb").read()
print(f"{len(files)} segments, {len(joined) // 4} frames ({len(joined) / 4 / 44100:.1f} s) joined; "
      f"parec captured {len(capture) // 4} frames")
for name, frames in segments:
    print(f"  {name}: {frames} frames")
con = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
for start, result, frames, planned, reason in con.execute(
        "select start_ms, result, frames, planned_frames, reason from segments order by start_ms"):
    print(f"  row {start}: {result} {frames}/{planned} {reason}")
for start, end, cause in con.execute("select start_ms, end_ms, cause from gaps"):
    print(f"  gap {start}..{end}: {cause}")
# Where the joined segments begin in the capture: the first 0.1 s of them, found byte for byte.
probe = bytes(joined[:4410 * 4])
offset = capture.find(probe)
while offset >= 0 and offset % 4:
    offset = capture.find(probe, offset + 1)
if offset < 0:
    print("the first segment's opening is not in the capture")
    sys.exit(1)
span = capture[offset:offset + len(joined)]
print(f"found at frame {offset // 4} of the capture; {len(span) // 4} frames of the capture compared")
equal = span == bytes(joined[:len(span)])
mismatched = 0
if not equal:
    a = array.array("h", bytes(joined[:len(span)])); b = array.array("h", span)
    mismatched = sum(1 for x, y in zip(a, b) if x != y)
print(f"joined segments equal to the capture over the span: {'yes' if equal else 'no'}"
      f" ({mismatched} samples differ)" + ("" if len(span) == len(joined) else
      f"; the capture ends {len(joined) // 4 - len(span) // 4} frames early"))
samples = array.array("h", bytes(joined))
left = samples[0::2]
# The tone's own largest step between neighbouring frames, over its first second and everywhere.
toneStep = max(abs(left[i] - left[i - 1]) for i in range(1, len(left)))
print(f"largest step of the tone anywhere: {toneStep} (a sine of amplitude A at 440 Hz: "
      f"{2 * math.pi * 440 / 44100 * 0.4 * 32767:.0f} at most)")
for j in joints:
    stepL = abs(left[j] - left[j - 1])
    stepR = abs(samples[2 * j + 1] - samples[2 * j - 1])
    # The step the tone takes there if nothing was lost: the two neighbours on each side agree.
    print(f"  joint at frame {j}: step {stepL} (tone), {stepR} (noise); "
          f"steps around it {abs(left[j - 1] - left[j - 2])}, {abs(left[j + 1] - left[j])}")
print(f"largest step at a joint (tone): {max((abs(left[j] - left[j - 1]) for j in joints), default=0)}")
EOF
