#!/usr/bin/env bash
# Starts, as root on a machine without an init system (a CI container), what the live
# disk backends and their tests talk to: the system D-Bus, udev (so block devices get
# their properties and UDisks sees them) and udisksd. Each one is started only when it
# is not already running; the script returns once UDisks answers on the bus.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "start-services.sh: must run as root" >&2; exit 1; }

running() { pgrep -x "$1" >/dev/null 2>&1; }

if ! running dbus-daemon; then
  mkdir -p /run/dbus
  rm -f /run/dbus/pid
  dbus-daemon --system --fork
fi
if ! running systemd-udevd; then
  udevd=/usr/lib/systemd/systemd-udevd
  [ -x "$udevd" ] || udevd=/lib/systemd/systemd-udevd
  "$udevd" --daemon
fi
udevadm trigger --action=add --subsystem-match=block
udevadm settle --timeout=30
if ! running udisksd; then
  nohup /usr/libexec/udisks2/udisksd --no-debug >/var/log/udisksd.log 2>&1 &
fi
for _ in $(seq 1 100); do
  if busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1 ||
     gdbus introspect --system --dest org.freedesktop.UDisks2 \
       --object-path /org/freedesktop/UDisks2 >/dev/null 2>&1; then
    echo "start-services.sh: D-Bus, udev and UDisks2 are running"
    exit 0
  fi
  sleep 0.2
done
echo "start-services.sh: org.freedesktop.UDisks2 did not answer on the system bus" >&2
exit 1
