#!/usr/bin/env bash
# Builds the project and runs its test suites (preset dev, in build/). With --sanitize,
# the suites are built and run under AddressSanitizer and UndefinedBehaviorSanitizer
# (preset sanitize, in build-sanitize/). Extra cmake cache settings may follow, such as
# -DBERTH_WERROR=ON, which CI gives.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
preset=dev
if [ "${1:-}" = "--sanitize" ]; then
  preset=sanitize
  shift
fi
cmake --preset "$preset" "$@" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
