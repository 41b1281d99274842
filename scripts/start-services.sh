#!/usr/bin/env bash
# Starts, as root on a machine without an init system (a CI container), what the live
# disk backends and their tests talk to: the system D-Bus, udev (so block devices get
# their properties and UDisks sees them) and udisksd. Each one is started only when it
# is not already running; the script returns once UDisks answers on the system bus.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "start-services.sh: must run as root" >&2; exit 1; }

bus() { dbus-send --system --dest=org.freedesktop.DBus --type=method_call --print-reply / "$@" 2>/dev/null; }
system_bus_answers() { bus org.freedesktop.DBus.GetId >/dev/null; }
udisks_answers() { bus org.freedesktop.DBus.NameHasOwner string:org.freedesktop.UDisks2 | grep -q "boolean true"; }

if ! system_bus_answers; then
  mkdir -p /run/dbus
  rm -f /run/dbus/pid  # left by a daemon that is gone
  dbus-daemon --system --fork
fi
if ! pgrep -x systemd-udevd >/dev/null; then
  udevd=/usr/lib/systemd/systemd-udevd
  [ -x "$udevd" ] || udevd=/lib/systemd/systemd-udevd
  "$udevd" --daemon
fi
udevadm trigger --action=add --subsystem-match=block
udevadm settle --timeout=30
if ! udisks_answers; then
  nohup /usr/libexec/udisks2/udisksd >/var/log/udisksd.log 2>&1 &
fi
for _ in $(seq 1 150); do
  if udisks_answers; then
    echo "start-services.sh: D-Bus, udev and UDisks2 are running"
    exit 0
  fi
  sleep 0.2
done
echo "start-services.sh: org.freedesktop.UDisks2 did not answer on the system bus (see /var/log/udisksd.log)" >&2
exit 1
