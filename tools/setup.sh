#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with. Skips what is already
# installed, never asks a question, works as root or through sudo, and says what failed.
set -u

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libfltk1.3-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libvorbis-dev libogg-dev
  libpcre2-dev
  libfreetype-dev libfontconfig-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  xvfb xauth libx11-dev evilwm xdotool xclip
  libpixman-1-dev liblua5.4-dev
  libsystemd-dev dbus-daemon
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then SUDO=""; elif command -v sudo >/dev/null; then SUDO="sudo"; else
  echo "setup: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get update -qq; then
  echo "setup: apt-get update failed" >&2
  exit 1
fi
if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/kel-setup.log 2>&1; then
  echo "setup: apt-get install failed; the end of its log:" >&2
  tail -n 30 /tmp/kel-setup.log >&2
  failed=()
  for p in "${missing[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || failed+=("$p")
  done
  echo "setup: not installed: ${failed[*]}" >&2
  exit 1
fi
echo "setup: done"
