#!/bin/sh
# Measures the slow paths and prints a table: scan and menu time for machines of 100,
# 1,000 and 16,000 PCI devices, driver calls per flash byte (counted with --trace), and
# resident memory over repeated menu openings.
#   scripts/bench.sh [--quick] [BUILD_DIR]
# --quick (what CI runs) skips the largest machine and opens the menu 1,000 times; it
# fails (exit 1) when a call count exceeds its bound, the scan stops being linear, or
# resident memory grows over the openings. Times are reported, never judged.
set -eu

quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; shift; fi
build=${1:-build}
berthctl="$build/cli/berthctl"
[ -x "$berthctl" ] || { echo "bench: no $berthctl; build the berthctl target first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM HUP
failed=0

fail() { echo "bench: REGRESSION: $*" >&2; failed=1; }
now_ms() { date +%s%3N; }

# A machine of N PCI devices, one of them a type-10 dock's Thunderbolt device with its
# USB and SATA controllers.
pci_machine() {
  python3 - "$1" <<'EOF'
import json, sys
def le32(v): return v.to_bytes(4, "little").hex()
def pci(vid, did, sub_vid=0, sub_did=0, debug="0:0:0", children=(), extra=()):
    props = [["pcidebug", {"str": debug}], ["vendor-id", {"data": le32(vid)}], ["device-id", {"data": le32(did)}],
             ["subsystem-vendor-id", {"data": le32(sub_vid)}], ["subsystem-id", {"data": le32(sub_did)}], *extra]
    return {"name": "dev", "class": "IOPCIDevice", "props": props, "children": list(children)}
usb = pci(0x1B73, 0x1100, 0x1B73, 0x1100, "133:0:0")
sata = pci(0x1B21, 0x0612, 0x1AB6, 0x1060, "134:0:0")
dock = pci(0x8086, 0x1547, debug="5:0:0", children=[usb, sata],
           extra=[["Tunnel Endpoint GUID", {"data": le32(0x1234) + le32(0x003D000A)}]])
roots = [dock] + [pci(0x1000, i) for i in range(int(sys.argv[1]) - 3)]
print(json.dumps({"registry": {"roots": roots}}))
EOF
}

run_ms() {
  start=$(now_ms)
  "$@" >/dev/null 2>&1 || true
  echo $(( $(now_ms) - start ))
}

echo "| measurement | value |"
echo "|---|---|"

sizes="100 1000 16000"
[ $quick -eq 1 ] && sizes="100 1000"
for n in $sizes; do
  pci_machine "$n" >"$work/pci$n.json"
  scan=$(run_ms "$berthctl" --machine "$work/pci$n.json" scan --json)
  menu=$(run_ms "$berthctl" --machine "$work/pci$n.json" menu)
  echo "| scan, $n PCI devices | $scan ms |"
  echo "| menu, $n PCI devices | $menu ms |"
  eval "scan_$n=$scan"
done
if [ $quick -eq 0 ] && [ $(( scan_16000 )) -gt $(( 20 * (scan_1000 > 0 ? scan_1000 : 1) + 50 )) ]; then
  fail "scan of 16,000 devices took ${scan_16000} ms, over 20 times the ${scan_1000} ms of 1,000"
fi

# Driver calls per flash byte on a machine whose flash persists between commands.
python3 - "$work" <<'EOF'
import os, random, sys
d = sys.argv[1]
random.seed(15)
size, sector = 0x80000, 0x1000
open(os.path.join(d, "random.bin"), "wb").write(bytes(random.getrandbits(8) for _ in range(size)))
mostly = bytearray(b"\xff" * size)
mostly[5 * sector:6 * sector] = bytes(random.getrandbits(8) for _ in range(sector))
open(os.path.join(d, "mostly-erased.bin"), "wb").write(mostly)
mostly[5 * sector + 7] ^= 0x10
open(os.path.join(d, "one-sector-changed.bin"), "wb").write(mostly)
EOF
cat >"$work/flash.json" <<EOF
{"driver": {"services": [{"bus": 134, "dev": 0, "fun": 0, "vid": "0x1B21", "did": "0x0612",
  "sub_vid": "0x1AB6", "sub_did": "0x1060",
  "flash": {"id": "0x001330EF", "image": "$work/flash.img", "persist": true}}]}}
EOF
calls() { "$berthctl" --machine "$work/flash.json" --trace flash program "$@" 2>&1 >/dev/null | grep -c '^trace '; }
per_byte() { awk -v c="$1" 'BEGIN { printf "%.2f", c / 524288 }'; }
over() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

random=$(calls --file "$work/random.bin")
mostly=$(calls --file "$work/mostly-erased.bin")
changed=$(calls --file "$work/one-sector-changed.bin" --only-changed)
echo "| flash program, random image | $(per_byte "$random") calls/byte |"
echo "| flash program, erased but one sector | $(per_byte "$mostly") calls/byte |"
echo "| flash program --only-changed, one sector | $changed calls |"
# Each word of a random image needs its program (46 calls with write enable and status
# waits) and its read-back (8): 13.5 a byte, and the erases a little more. Erased space
# needs no program, only its read-back; an unchanged sector needs no second read.
over "$(per_byte "$random")" 13.6 && fail "random image: $(per_byte "$random") calls a byte, over 13.6"
over "$(per_byte "$mostly")" 2.5 && fail "mostly erased image: $(per_byte "$mostly") calls a byte, over 2.5"
[ "$changed" -gt $(( 2 * 524288 + 60000 )) ] && fail "--only-changed: $changed calls, over one read + 60,000"

openings=3000
[ $quick -eq 1 ] && openings=1000
rss=$("$berthctl" menu --repeat "$openings" 2>&1 >/dev/null | tail -1)
early=$(echo "$rss" | sed -n 's/.*resident \([0-9]*\) kB after.*, .*/\1/p')
late=$(echo "$rss" | sed -n 's/.*, \([0-9]*\) kB after [0-9]*$/\1/p')
echo "| resident memory over $openings menu openings | ${early} kB -> ${late} kB |"
# A few pages of allocator slack are no growth; 4 MB per 1,000 openings is.
[ "$(( late - early ))" -gt 512 ] && fail "resident memory grew by $(( late - early )) kB over $openings openings"

exit $failed
