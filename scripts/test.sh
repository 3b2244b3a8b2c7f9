#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
cd build
# The PortAudio tests start their own private PulseAudio server (see tests/audio/devices/pulse_fixture.sh).
ctest --output-on-failure -j"$(nproc)" --timeout 300
