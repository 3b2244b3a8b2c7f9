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
    [ -n "$keep" ] && echo "kept: $work" || rm -rf "$work"
}
trap cleanup EXIT INT TERM
keep=${KEEP:-}  # KEEP=1: the folder with the segments and the capture is left for a look
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
# STALLS="1.5 4": the logger is frozen (SIGSTOP, its sound callbacks with it) for each of these
# seconds in turn, 2.5 minutes into the run and every 3 minutes after; the server keeps what
# the card captures meanwhile and hands it over late, which must not be taken as lost.
if [ -n "${STALLS:-}" ]; then
    (
        sleep 150
        for s in $STALLS; do
            kill -STOP "$loggerpid" && echo "frozen for $s s at $(date +%T.%N | cut -c1-12)" >>"$work/stalls.log"
            sleep "$s"
            kill -CONT "$loggerpid"
            sleep 180
        done
    ) &
fi
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
[ -f "$work/stalls.log" ] && sed 's/^/  /' "$work/stalls.log"

python3 "$here/compare_segments.py" "$root/C/Tamblor/Logger" "$work/capture.raw" "$root/C/Tamblor/Logger.db"
