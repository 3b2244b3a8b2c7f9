#!/usr/bin/env bash
# The README's run command, "bash scripts/run.sh", started on a fresh root: the program it
# starts is still running after a few seconds, has made C/Tamblor and has printed nothing to
# the terminal. The test command has already installed and built everything, so run.sh runs
# from a copy of the scripts folder whose set-up and build steps do nothing, over this build:
# no package is installed and nothing is rebuilt while the tests run.
#   readme_run_check.sh <source folder> <build folder>
set -uo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; [ -s "$work/stderr" ] && { echo "--- its terminal output:"; cat "$work/stderr"; }; exit 1; }

checkout=$work/checkout
mkdir -p "$checkout/scripts" "$work/root"
cp "$source_dir/scripts/run.sh" "$checkout/scripts/run.sh"
for step in setup build; do
  printf '#!/usr/bin/env bash\n# done by the test command already\n' >"$checkout/scripts/$step.sh"
done
ln -s "$build_dir" "$checkout/build"

unset TAMBLOR_AUDIO # the sound cards, as an operator starts it
# A desktop session has its private runtime folder; a test run as root may have none.
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime} QT_QPA_PLATFORM=offscreen TAMBLOR_ROOT=$work/root bash "$checkout/scripts/run.sh" >"$work/stdout" 2>"$work/stderr" &
pid=$!

for _ in $(seq 1 50); do
  [ -d "$work/root/C/Tamblor" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
sleep 3
kill -0 "$pid" 2>/dev/null || { wait "$pid"; code=$?; pid=; fail "scripts/run.sh ended with status $code"; }
[ -d "$work/root/C/Tamblor" ] || fail "no C/Tamblor below the fresh root"
[ -f "$work/root/C/Tamblor/Schedule.dat" ] || fail "no C/Tamblor/Schedule.dat"
# The offscreen platform (not the operator's) says which window calls it ignores.
grep -v -E '^This plugin does not support [a-zA-Z]+\(\)$' "$work/stderr" >"$work/noise"
[ -s "$work/noise" ] && fail "the terminal is not quiet on a normal start"
[ -s "$work/stdout" ] && { cat "$work/stdout"; fail "the program printed to its standard output"; }
echo "scripts/run.sh started the program; C/Tamblor made; the terminal stayed quiet"
exit 0
