#!/usr/bin/env bash
# Configures and builds into ./build (Release with debug info). TAMBLOR_WERROR=ON makes every
# compiler warning an error (CI builds so).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${TAMBLOR_LAUNCHER[@]}" \
  -DTAMBLOR_WERROR="${TAMBLOR_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
