#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into ./build-fuzz and runs each on its corpus in
# fuzz/corpus/ for FUZZ_SECONDS (60 by default). New inputs go to a scratch folder, so the
# corpus kept in the repository only changes by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/compiler-cache.sh
seconds="${FUZZ_SECONDS:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${TAMBLOR_LAUNCHER[@]}" -DTAMBLOR_BUILD_FUZZ=ON -DTAMBLOR_BUILD_TESTS=OFF \
  -DTAMBLOR_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_riff_reader fuzz_wave_file fuzz_rtf_reader fuzz_web_request
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run() { # target corpus max_len
  local target=$1 corpus=$2 max_len=$3
  mkdir -p "$scratch/$corpus"
  echo "== $target: ${seconds}s on fuzz/corpus/$corpus"
  (cd "$scratch" && "$OLDPWD/build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" \
     -print_final_stats=1 "$scratch/$corpus" "$OLDPWD/fuzz/corpus/$corpus" 2>&1 | tail -n 12)
  test "${PIPESTATUS[0]}" -eq 0
}
run files/fuzz_riff_reader riff 4096
run files/fuzz_wave_file wave 4096
run info/fuzz_rtf_reader rtf 8192
run web/fuzz_web_request web 4096
