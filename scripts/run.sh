#!/usr/bin/env bash
# Builds the project and runs the utility, berthline-utility, on this computer: the live
# machine when a Berthline dock is attached, otherwise (saying so in one line) the
# built-in demo machine. Options are passed on (--machine FILE, --demo, --sysfs ROOT,
# --syslog, ...); with a machine option, it runs on that machine. It sits in the system
# tray; where there is no display or no tray it says so and prints its status menu.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j"$(nproc)" --target berthline-utility berthctl
machine_given=false
for arg in "$@"; do
  case "$arg" in --machine|--machine=*|--ioreg|--ioreg=*|--sysfs|--sysfs=*|--demo) machine_given=true ;; esac
done
if ! $machine_given && ! build/cli/berthctl scan --json 2>/dev/null | tail -n 1 | grep -q '"count":[1-9]'; then
  echo "run.sh: no Berthline dock found on this computer; running the demo machine"
  set -- --demo "$@"
fi
exec build/app/qt/berthline-utility "$@"
