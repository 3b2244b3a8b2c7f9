#!/bin/sh
# Two events back to back on a private PulseAudio server: starts the server the PortAudio tests
# use, runs bench_back_to_back against it, stops it.
#   bench/schedule/back_to_back.sh [build folder=build] [seconds=60] [--soak MINUTES]
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
seconds=${2:-60}
shift 2 2>/dev/null || shift $#
state=$(mktemp /tmp/tamblor-b2b.XXXXXX)
sh "$here/tests/audio/devices/pulse_fixture.sh" start "$state" || exit 1
TAMBLOR_PULSE_STATE="$state" "$build/bench/schedule/bench_back_to_back" "$seconds" "$@"
result=$?
sh "$here/tests/audio/devices/pulse_fixture.sh" stop "$state"
exit $result
