#!/usr/bin/env bash
# Installs Debian packages when any is missing: the packages the project builds with and
# what its live-disk tests run, plus the PACKAGEs named. With --screenshots, also what scripts/screenshots.sh runs the
# desktop program in: a virtual X display, a window manager, a tray panel, xdotool and
# ImageMagick. With --only, just the PACKAGEs named.
# Usage: install-deps.sh [--screenshots] [--only] [PACKAGE...]
set -euo pipefail
packages=(cmake g++ make ccache pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core
  libglib2.0-dev libudisks2-dev libmount-dev libudev-dev
  # the live disk backends' tests: services (scripts/start-services.sh), loop disks, ext4, partitions
  udisks2 udev dbus e2fsprogs util-linux fdisk mount procps pciutils)
for arg in "$@"; do
  case "$arg" in
    --screenshots) packages+=(xvfb openbox trayer xdotool imagemagick x11-utils x11-xserver-utils) ;;
    --only) packages=() ;;
    *) packages+=("$arg") ;;
  esac
done
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
