#!/usr/bin/env bash
# The budget of the barcode path, in figures machine load does not change: instructions per
# barcode under callgrind against the floor that writes the same four log records, and heap
# blocks per barcode of several lengths. Prints every figure it measured, then fails when one is
# over its budget.
#   bench/budget.sh BUILD_DIR
# KESTRA_BENCH_CALLGRIND_BARCODES sets how many barcodes each path sends under callgrind (300).
set -euo pipefail

# The budgets. The instruction ratio is library / (floor + the four records), for the 13-character
# barcode; the heap blocks are per barcode, for each length below (ASCII digits).
max_ratio=1.25
max_blocks=2
lengths=1,13,100,10000,65536

build=${1:?usage: bench/budget.sh BUILD_DIR}
if [ ! -x "$build/bench/kestra_bench" ]; then
  echo "no $build/bench/kestra_bench: is Google Benchmark installed for this build's architecture?" >&2
  exit 1
fi
if ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed: no instruction counts, so no budget check (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
build=$(cd "$build" && pwd)
program=$build/bench/kestra_bench
barcodes=${KESTRA_BENCH_CALLGRIND_BARCODES:-300}
profiles=$build/bench/callgrind
rm -rf "$profiles" && mkdir -p "$profiles"

"$program" --heap-blocks="$lengths" >"$profiles/heap-blocks.txt" 2>"$profiles/heap-blocks-stderr.txt" || {
  cat "$profiles/heap-blocks-stderr.txt" >&2
  echo "counting heap blocks failed" >&2
  exit 1
}

# Only the natives are counted, from entry to return: the library's SendBarcode and the floor's.
(cd "$profiles" && valgrind --tool=callgrind --smc-check=all-non-file \
  --toggle-collect=Java_com_kestra_MobileBarcodeScannerPackage_MobileBarcodeScanner_SendBarcode \
  --toggle-collect=Java_com_kestra_bench_BarcodeFloor_Deliver \
  --toggle-collect=Java_com_kestra_bench_BarcodeFloor_DeliverWithTraceLines \
  "$program" --callgrind-barcodes="$barcodes" >valgrind-stdout.txt 2>valgrind-stderr.txt) || {
  echo "callgrind run failed; see $profiles/valgrind-stderr.txt" >&2
  exit 1
}

for profile in "$profiles"/callgrind.out.*.*; do
  path=$(sed -n 's/^desc: Trigger: Client Request: //p' "$profile")
  instructions=$(sed -n 's/^summary: //p' "$profile")
  echo "instructions $path $instructions"
done | cat - "$profiles/heap-blocks.txt" | awk -v n="$barcodes" -v max_ratio="$max_ratio" \
  -v max_blocks="$max_blocks" -v profiles="$profiles" '
  $1 == "instructions" { per[$2] = $3 / n; order[++paths] = $2 }
  $1 == "heap_blocks" { blocks[++lengths] = $3; bytes[lengths] = $4; chars[lengths] = $2 }
  END {
    printf "Instructions per barcode under callgrind (%d barcodes per path, logs dropped; profiles in %s):\n", n, profiles
    for (i = 1; i <= paths; i++) {
      name = order[i]
      printf "  %-24s %8.0f", name, per[name]
      if (name != "floor" && per["floor"] > 0) printf "  %6.2fx the floor", per[name] / per["floor"]
      printf "\n"
    }
    failed = 0
    if (per["library"] > 0 && per["floor_with_trace_lines"] > 0) {
      lines = per["floor_with_trace_lines"] - per["floor"]
      printf "  the 4 trace lines alone  %8.0f  %6.2fx the floor\n", lines, lines / per["floor"]
      ratio = per["library"] / per["floor_with_trace_lines"]
      over = ratio > max_ratio
      printf "  library / floor_with_trace_lines: %.3fx (budget %.2fx)%s\n", ratio, max_ratio, over ? "  OVER BUDGET" : ""
      failed += over
    } else {
      print "  no library or no floor_with_trace_lines profile: the ratio cannot be checked"
      failed++
    }
    printf "Heap blocks per barcode through the library (budget %d at every length):\n", max_blocks
    for (i = 1; i <= lengths; i++) {
      over = blocks[i] > max_blocks
      printf "  %6d characters: %5.2f blocks, %8.0f bytes%s\n", chars[i], blocks[i], bytes[i], over ? "  OVER BUDGET" : ""
      failed += over
    }
    if (lengths == 0) {
      print "  no heap block counts"
      failed++
    }
    print failed ? "Budget check: FAILED" : "Budget check: passed"
    exit failed ? 1 : 0
  }'
