#!/usr/bin/env bash
# Starts pairs of programs at the same moment on fresh libraries (20 pairs unless given) and
# prints how many left exactly one program running and the other handed over.
# Usage: tests/app/two_starts.sh [pairs] [build folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
pairs="${1:-20}"
build="${2:-build}"
TAMBLOR_START_PAIRS="$pairs" "$build/tests/app/app_tests" \
  --gtest_filter='SingleInstanceTest.TwoProgramsStartedTogetherLeaveExactlyOneRunning' 2>&1 |
  grep -E 'two starts at once|pair [0-9]+:|PASSED|FAILED' || true
