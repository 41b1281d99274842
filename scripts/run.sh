#!/usr/bin/env bash
# Builds the project and runs the utility, berthline-utility, on the built-in demo
# machine (or on the machine file given with --machine FILE). It sits in the system
# tray; where there is no display or no tray it says so and prints its status menu.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target berthline-utility berthctl
exec build/app/qt/berthline-utility "$@"
