#!/bin/sh
# Installs the build into a scratch prefix as the Debian package lays it out, checks what a
# studio machine gets, and starts the installed program offscreen on a fresh root: it must
# place the help text installed beside it (marked here, so the copy built into the program
# cannot pass for it).
#   install_check.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

prefix=$scratch/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/tamblor bin/tamblor-logger lib/systemd/user/tamblor-logger.service share/tamblor/TamblorHelp.rtf share/applications/tamblor.desktop \
         share/icons/hicolor/scalable/apps/tamblor.svg share/man/man1/tamblor.1.gz \
         share/doc/tamblor/copyright share/doc/tamblor/changelog.gz; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/bin/tamblor" ] || fail "bin/tamblor is not executable"
[ -x "$prefix/bin/tamblor-logger" ] || fail "bin/tamblor-logger is not executable"
unit=$prefix/lib/systemd/user/tamblor-logger.service
grep -qx 'ExecStart=/usr/bin/tamblor-logger' "$unit" || fail "the unit does not start the installed logger"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit does not restart the logger on failure"
grep -q '^WatchdogSec=' "$unit" || fail "the unit has no watchdog"
grep -qx 'Exec=tamblor' "$prefix/share/applications/tamblor.desktop" || fail "the menu entry does not start tamblor"
grep -qx 'Icon=tamblor' "$prefix/share/applications/tamblor.desktop" || fail "the menu entry has no icon"
gzip -t "$prefix/share/man/man1/tamblor.1.gz" || fail "the manual page is not gzip"

printf '%s\n' '{\rtf1 Installed beside the program.\par}' > "$prefix/share/tamblor/TamblorHelp.rtf"
root=$scratch/root
mkdir -p "$root"
TAMBLOR_ROOT=$root TAMBLOR_AUDIO=virtual QT_QPA_PLATFORM=offscreen "$prefix/bin/tamblor" &
pid=$!
placed="$root/C/Program Files/Tamblor/TamblorHelp.rtf"
i=0
while [ ! -s "$placed" ] && [ $i -lt 600 ]; do
  kill -0 "$pid" 2>/dev/null || fail "the installed program ended at start"
  sleep 0.1
  i=$((i + 1))
done
[ -s "$placed" ] || fail "the help text was not placed"
sleep 0.5 # let the copy finish
cmp -s "$placed" "$prefix/share/tamblor/TamblorHelp.rtf" || fail "the help text placed is not the installed one"
kill -0 "$pid" 2>/dev/null || fail "the installed program did not keep running"
echo "installed layout and start: passed"
