#!/usr/bin/env bash
# Runs the benchmarks of a build, then counts the instructions of the barcode path under
# callgrind, which machine load does not change.
#   bench/run.sh BUILD_DIR [benchmark options...]
# KESTRA_BENCH_CALLGRIND_BARCODES sets how many barcodes each path sends under callgrind (1000).
set -euo pipefail

build=${1:?usage: bench/run.sh BUILD_DIR [benchmark options...]}
shift
if [ ! -x "$build/bench/kestra_bench" ]; then
  echo "no $build/bench/kestra_bench: is Google Benchmark installed for this build's architecture?" >&2
  exit 1
fi
build=$(cd "$build" && pwd)
program=$build/bench/kestra_bench
logs=$build/bench/logs
mkdir -p "$logs"

"$program" --log-file="$logs/barcode-log.txt" "$@"

if ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed: no instruction counts"
  exit 0
fi
barcodes=${KESTRA_BENCH_CALLGRIND_BARCODES:-1000}
profiles=$build/bench/callgrind
rm -rf "$profiles" && mkdir -p "$profiles"
# Only the natives are counted, from entry to return: the library's SendBarcode and the floor's.
(cd "$profiles" && valgrind --tool=callgrind --smc-check=all-non-file \
  --toggle-collect=Java_com_kestra_MobileBarcodeScannerPackage_MobileBarcodeScanner_SendBarcode \
  --toggle-collect=Java_com_kestra_bench_BarcodeFloor_Deliver \
  --toggle-collect=Java_com_kestra_bench_BarcodeFloor_DeliverWithTraceLines \
  "$program" --callgrind-barcodes="$barcodes" >valgrind-stdout.txt 2>valgrind-stderr.txt) || {
  echo "callgrind run failed; see $profiles/valgrind-stderr.txt" >&2
  exit 1
}

echo
echo "Instructions per barcode under callgrind ($barcodes barcodes per path, logs dropped; profiles in $profiles):"
for profile in "$profiles"/callgrind.out.*.*; do
  path=$(sed -n 's/^desc: Trigger: Client Request: //p' "$profile")
  instructions=$(sed -n 's/^summary: //p' "$profile")
  echo "$path $instructions"
done | awk -v n="$barcodes" '
  { per[$1] = $2 / n; order[NR] = $1 }
  END {
    for (i = 1; i <= NR; i++) {
      name = order[i]
      printf "  %-24s %8.0f", name, per[name]
      if (name != "floor" && per["floor"] > 0) printf "  %6.2fx the floor", per[name] / per["floor"]
      printf "\n"
    }
    if (per["floor_with_trace_lines"] > 0) {
      lines = per["floor_with_trace_lines"] - per["floor"]
      printf "  the 4 trace lines alone  %8.0f  %6.2fx the floor\n", lines, lines / per["floor"]
      printf "  library / floor_with_trace_lines: %.2fx\n", per["library"] / per["floor_with_trace_lines"]
    }
  }'
