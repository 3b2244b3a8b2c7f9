#!/usr/bin/env bash
# The audio device tests, the ring test, the worker facility's tests, the conversion chain's
# tests (its stages run on threads of their own) and the programme watch's tests (its measuring
# runs on a worker thread of its own) under ThreadSanitizer, built into ./build-tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/compiler-cache.sh
flags="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug "${TAMBLOR_LAUNCHER[@]}" \
  -DTAMBLOR_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_C_FLAGS="$flags -O1" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j"$(nproc)" --target audio_devices_tests audio_ring_tests audio_jobs_tests audio_files_tests \
  studio_tests
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$(pwd)/scripts/sanitizers/tsan.supp"
export QT_QPA_PLATFORM=offscreen TAMBLOR_AUDIO=virtual
build-tsan/tests/audio/devices/audio_ring_tests
build-tsan/tests/audio/devices/audio_devices_tests
build-tsan/tests/audio/jobs/audio_jobs_tests
build-tsan/tests/audio/files/audio_files_tests --gtest_filter='ConversionTest.*'
build-tsan/tests/studio/studio_tests --gtest_filter='WatchWorker.*:ProgrammeWatchTest.*'
