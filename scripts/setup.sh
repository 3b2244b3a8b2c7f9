#!/usr/bin/env bash
# Installs the Debian packages Tamblor builds, runs and tests with (idempotent).
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6
  portaudio19-dev libasound2-dev libsndfile1-dev libsoxr-dev libebur128-dev libsqlite3-dev libmicrohttpd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  pulseaudio pulseaudio-utils libasound2-plugins alsa-utils dbus-daemon
  xvfb xauth imagemagick sox poppler-utils fonts-dejavu-core
  clang libclang-rt-14-dev
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
