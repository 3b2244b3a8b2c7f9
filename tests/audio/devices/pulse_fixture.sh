#!/bin/sh
# Starts or stops a private PulseAudio server with two null sinks, for the PortAudio tests.
#   pulse_fixture.sh start STATEFILE    writes runtime=, server=, sink=, source=, pid=, reader=,
#                                       still_sink=, still_source=
# "sink" mixes ahead and rewinds when a stream comes or goes, as PulseAudio drives a real card,
# and a reader on its monitor keeps it running. "still_sink" never rewinds (norewinds=1), so its
# monitor shows every frame a stream plays, from the first; nothing reads it until a test does.
#   pulse_fixture.sh stop STATEFILE     stops both processes by their PIDs and removes the folder
# The server runs in user mode with a private XDG_RUNTIME_DIR (mode 700), also as root.
set -u
action=$1
state=$2
sink=tamblor_test
still=tamblor_still

stop() {
    [ -f "$state" ] || return 0
    runtime=$(sed -n 's/^runtime=//p' "$state")
    for key in reader pid; do
        p=$(sed -n "s/^$key=//p" "$state")
        [ -n "$p" ] && kill "$p" 2>/dev/null
    done
    for key in reader pid; do
        p=$(sed -n "s/^$key=//p" "$state")
        i=0
        while [ -n "$p" ] && kill -0 "$p" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
        [ -n "$p" ] && kill -0 "$p" 2>/dev/null && kill -9 "$p" 2>/dev/null
    done
    case "$runtime" in /tmp/tamblor-pulse.*) rm -rf "$runtime" ;; esac
    rm -f "$state"
}

if [ "$action" = stop ]; then
    stop
    exit 0
fi

stop # a left-over server from an interrupted run
runtime=$(mktemp -d /tmp/tamblor-pulse.XXXXXX) || exit 1
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime" HOME="$runtime" PULSE_RUNTIME_PATH="$runtime/pulse"
unset PULSE_SERVER PULSE_SINK PULSE_SOURCE DBUS_SESSION_BUS_ADDRESS
# --no-cpu-limit: the server's load limiter would end it on a machine busy with other tests.
pulseaudio -D --system=false --exit-idle-time=-1 -n --disallow-exit --use-pid-file=yes --no-cpu-limit=yes \
    --log-target=file:"$runtime/server.log" \
    --load="module-null-sink sink_name=$sink rate=44100 channels=2" \
    --load="module-null-sink sink_name=$still rate=44100 channels=2 norewinds=1" \
    --load="module-native-protocol-unix auth-anonymous=1" || {
    echo "pulseaudio did not start"; cat "$runtime/server.log" 2>/dev/null; rm -rf "$runtime"; exit 1; }
i=0
while [ ! -S "$runtime/pulse/native" ] || [ ! -s "$runtime/pulse/pid" ]; do
    i=$((i+1))
    if [ $i -gt 100 ]; then echo "pulseaudio socket missing"; cat "$runtime/server.log"; exit 1; fi
    sleep 0.1
done
pid=$(cat "$runtime/pulse/pid")
export PULSE_SERVER="unix:$runtime/pulse/native"
# An idle null sink stalls new streams for over a second; a reader on its monitor keeps it running.
parec -d "$sink.monitor" --latency-msec=20 --raw >/dev/null 2>&1 &
reader=$!
{
    echo "runtime=$runtime"
    echo "server=$PULSE_SERVER"
    echo "sink=$sink"
    echo "source=$sink.monitor"
    echo "pid=$pid"
    echo "reader=$reader"
    echo "still_sink=$still"
    echo "still_source=$still.monitor"
} >"$state"
if ! pactl list short sinks | grep -q "$sink" || ! pactl list short sinks | grep -q "$still"; then
    echo "null sink missing"; cat "$runtime/server.log"; exit 1
fi
sleep 2.5 # let the sink settle with its reader
kill -0 "$reader" 2>/dev/null || { echo "monitor reader died"; exit 1; }
echo "pulseaudio $pid at $runtime"
