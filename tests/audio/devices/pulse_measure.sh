#!/bin/sh
# The longer PortAudio measurements for the notes, on a private PulseAudio server of their own:
#   tests/audio/devices/pulse_measure.sh [BUILD]            both, 10 playback runs a cell, 20 quiet takes
#   tests/audio/devices/pulse_measure.sh BUILD playback N   the playback table, N runs a cell
#   tests/audio/devices/pulse_measure.sh BUILD quiet N      N quiet takes of 8 s
# BUILD is the build folder (default: build beside this checkout's sources). MEASURE_ONLY="22050 Hz
# ADPCM" plays only the cells whose name holds the text; MEASURE_VERBOSE=1 shows every run.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build}
program="$build/tests/audio/devices/audio_pulse_measure"
[ -x "$program" ] || { echo "build audio_pulse_measure first ($program)"; exit 2; }
state=$(mktemp /tmp/tamblor-measure.XXXXXX)
trap 'sh "$here/pulse_fixture.sh" stop "$state"; rm -f "$state"' EXIT INT TERM
sh "$here/pulse_fixture.sh" start "$state" >/dev/null || { echo "no PulseAudio server"; exit 2; }
export QT_QPA_PLATFORM=offscreen
status=0
if [ $# -ge 3 ]; then
    "$program" "$state" "$2" "$3" || status=1
else
    "$program" "$state" playback 10 || status=1
    echo
    "$program" "$state" quiet 20 || status=1
fi
exit $status
