#!/usr/bin/env bash
# Builds the fuzzers (libFuzzer with AddressSanitizer and UBSan, Debian's clang) in
# build-fuzz/ and runs each for SECONDS (default 60). The ioreg dump fuzzer: the three
# real dumps of tests/ioreg/dumps/ are run whole first, then cut into pieces (an entry
# line and the lines after it) that seed the fuzzing. The machine file fuzzer: the
# machine files of the project and the hostile corpus of tests/corpus/ are run whole
# first and seed it. The sysfs reader fuzzer: the fixture trees of fuzz/sysfs_seeds/ (one
# entry a line, as sysfs_fuzzer.cpp describes) are run whole first and seed it; its trees
# are made on a tmpfs where there is one. A crash, leak or hang fails the script; the input
# that caused it is left in build-fuzz/crashes/ (keep a machine file or dump in
# tests/corpus/ once fixed: ctest replays those; sysfs trees are not replayed yet).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/install-deps.sh clang-14 libclang-rt-14-dev

dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBERTH_FUZZ=ON \
  -DBERTH_BUILD_TESTS=OFF -DBERTH_BUILD_QT=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target ioreg_fuzzer machine_file_fuzzer sysfs_fuzzer
fuzzer="$dir/fuzz/ioreg_fuzzer"

dumps=(tests/ioreg/dumps/*.txt)
"$fuzzer" "${dumps[@]}"

seeds="$dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$dir/corpus" "$dir/crashes"
for dump in "${dumps[@]}"; do
  name=$(basename "$dump" .txt)
  awk -v out="$seeds/$name" '/^[ |]*\+-o / && n >= 60 { piece++; n = 0 } { print > (out "-" piece); n++ }' "$dump"
done

"$fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 -dict=fuzz/ioreg.dict \
  -artifact_prefix="$dir/crashes/" -print_final_stats=1 "$dir/corpus" "$seeds"

machines=(tests/machines/*.json platform/sim/demo-machine.json tests/corpus/machine/*)
"$dir/fuzz/machine_file_fuzzer" "${machines[@]}"
mkdir -p "$dir/machine-corpus"
"$dir/fuzz/machine_file_fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 -dict=fuzz/machine_file.dict \
  -artifact_prefix="$dir/crashes/" -print_final_stats=1 "$dir/machine-corpus" tests/corpus/machine tests/machines

trees=$(mktemp -d /dev/shm/berth-sysfs-fuzz.XXXXXX 2>/dev/null || mktemp -d "$PWD/$dir/sysfs-trees.XXXXXX")
trap 'rm -rf "$trees"' EXIT
TMPDIR="$trees" "$dir/fuzz/sysfs_fuzzer" fuzz/sysfs_seeds/*
mkdir -p "$dir/sysfs-corpus"
TMPDIR="$trees" "$dir/fuzz/sysfs_fuzzer" -max_total_time="$seconds" -max_len=32768 -timeout=10 -dict=fuzz/sysfs.dict \
  -artifact_prefix="$dir/crashes/" -print_final_stats=1 "$dir/sysfs-corpus" fuzz/sysfs_seeds
