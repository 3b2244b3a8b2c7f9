#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, built into
# ./build-asan. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/compiler-cache.sh
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "${TAMBLOR_LAUNCHER[@]}" \
  -DTAMBLOR_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_C_FLAGS="$flags -O1" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j"$(nproc)"
cc -shared -fPIC -o build-asan/keep-modules.so scripts/sanitizers/keep-modules.c
export LD_PRELOAD="$(pwd)/build-asan/keep-modules.so"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:verify_asan_link_order=0"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-asan
ctest --output-on-failure -j"$(nproc)" --timeout 600
