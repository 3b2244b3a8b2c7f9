#!/bin/sh
# Takes by hand on a freshly started program, on the real PortAudio backend and a private
# PulseAudio server with a noise feed playing into its sink (a few minutes; not part of ctest):
#   scripts/hand_take_check.sh [BUILD] [TAKES] [SECONDS]
# BUILD is the build folder (default: build beside this script's checkout), TAKES how many takes
# (20), SECONDS each take's length (8). Each take starts the program anew on a fresh root
# (build/tests/program/hand_take_check), opens the library window, presses Record a while after
# (0 ms to 2.5 s, in turn) and Stop SECONDS later, while parec records the same monitor outside
# the program. A take passes when the index gives the file's length (whole seconds, rounded),
# the file begins with the first sample the card delivered after the press, and every frame of
# the file equals the outside capture's, from where the file's first frames lie in it.
# Prints a line a take and a table of the figures; exits 1 when a take failed.
# STALL_MS=700 holds the whole program up (SIGSTOP, then SIGCONT) for that long shortly before
# Stop is due, as a loaded machine does: its input's sound waits in the server meanwhile, and the
# file must still end with the sound due at the press of Stop.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
takes=${2:-20}
seconds=${3:-8}
stall=${STALL_MS:-0}
program="$build/tests/program/hand_take_check"
fixture="$here/../tests/audio/devices/pulse_fixture.sh"
[ -x "$program" ] || { echo "build hand_take_check first ($program)"; exit 2; }
command -v sox >/dev/null || { echo "sox is needed for the feed"; exit 2; }
work=$(mktemp -d /tmp/tamblor-handtakes.XXXXXX)
state="$work/pulse.state"
feeder=
cleanup() {
    if [ -n "$feeder" ]; then
        kill "$feeder" 2>/dev/null
        wait "$feeder" 2>/dev/null
    fi
    sh "$fixture" stop "$state"
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
sh "$fixture" start "$state" >/dev/null || { echo "no PulseAudio server"; exit 2; }
PULSE_SERVER=$(sed -n 's/^server=//p' "$state")
sink=$(sed -n 's/^sink=//p' "$state")
export PULSE_SERVER

# White noise for the whole run, played into the sink once: no stretch of it repeats, so the
# file's frames are found in the capture at one place only.
sox -n -r 44100 -c 2 -b 16 -e signed-integer -t raw "$work/feed.raw" synth $((takes * (seconds + 6) + 60)) whitenoise vol 0.25
pacat --device="$sink" --format=s16le --rate=44100 --channels=2 --raw "$work/feed.raw" &
feeder=$!
sleep 1

export QT_QPA_PLATFORM=offscreen
failed=0
i=1
results="$work/results"
: >"$results"
while [ "$i" -le "$takes" ]; do
    case $(( (i - 1) % 5 )) in 0) press=0 ;; 1) press=100 ;; 2) press=300 ;; 3) press=1000 ;; *) press=2500 ;; esac
    root="$work/root$i"
    mkdir -p "$root"
    "$program" "$state" "$root" "$seconds" "$press" >"$work/out$i" 2>"$work/err$i" &
    pid=$!
    staller=
    if [ "$stall" -gt 0 ]; then
        # About 150 ms to open the window, then the press; the hold ends after Stop was due.
        at=$((150 + press + seconds * 1000 - stall / 2))
        ( sleep "$(awk "BEGIN { print $at / 1000 }")"; kill -STOP "$pid" 2>/dev/null
          sleep "$(awk "BEGIN { print $stall / 1000 }")"; kill -CONT "$pid" 2>/dev/null ) &
        staller=$!
    fi
    wait "$pid"
    status=$?
    [ -z "$staller" ] || wait "$staller"
    line=$(cat "$work/out$i")
    if [ -z "$line" ]; then
        line="no result: $(tail -3 "$work/err$i" | tr '\n' ' ')"
        status=1
    fi
    echo "take $i: $line"
    echo "$line" >>"$results"
    [ $status -eq 0 ] || failed=$((failed + 1))
    rm -rf "$root"
    i=$((i + 1))
done

echo
echo "| take | press after open (ms) | first buffer after press (ms) | index (s) | file (s) | frames written | file's first input sample | file start after press, by capture (ms) | file end before Stop, by capture (ms) | frames equal to capture | |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
awk '{
    for (f = 1; f <= NF; ++f) { split($f, kv, "="); v[kv[1]] = kv[2] }
    verdict = $NF
    printf "| %d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", NR, v["press_after_ms"], v["first_buffer_ms"],
           v["index_s"], v["file_s"], v["written"], v["first_sample"], v["file_start_after_press_ms"],
           v["file_end_before_stop_ms"], v["equal"], verdict
    delete v
}' "$results"
echo
echo "$((takes - failed)) of $takes takes passed"
[ $failed -eq 0 ]
