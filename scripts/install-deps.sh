#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when any is missing.
# With --screenshots, also what scripts/screenshots.sh runs the desktop program in: a
# virtual X display, a window manager, a tray panel, xdotool and ImageMagick.
set -euo pipefail
packages=(cmake g++ make ccache pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core)
if [ "${1:-}" = "--screenshots" ]; then
  packages+=(xvfb openbox trayer xdotool imagemagick x11-utils x11-xserver-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
