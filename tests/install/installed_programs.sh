#!/usr/bin/env bash
# The installed programs work from a prefix of their own with the build and source
# trees out of reach: they find their resources and the drive-tool stand-ins relative
# to themselves. Usage: installed_programs.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

# Hiding the trees needs a mount namespace of our own (root).
if ! unshare --mount true 2>/dev/null; then
  echo "SKIP: cannot make a mount namespace to hide the build tree"
  exit 77
fi
hidden() {
  unshare --mount -- sh -c 'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && shift 2 && exec "$@"' \
    sh "$build" "$source" "$@"
}

fail() { echo "FAIL: $*"; exit 1; }
out=$(hidden "$prefix/bin/berthctl" --demo scan --json) || fail "scan exited $?"
grep -q '"count":1' <<<"$out" || fail "scan: $out"
out=$(hidden "$prefix/bin/berthctl" --demo menu) || fail "menu exited $?"
grep -q 'port 2: Travel' <<<"$out" || fail "menu: $out"
out=$(hidden "$prefix/bin/berthctl" --demo driver-scan --json 2>&1) || fail "driver-scan exited $?"
grep -q 'cannot be launched' <<<"$out" && fail "driver-scan: $out"
grep -q '"count":3' <<<"$out" || fail "driver-scan: $out"
echo "installed programs work from $prefix"
