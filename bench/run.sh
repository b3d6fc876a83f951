#!/usr/bin/env bash
# Runs the benchmarks of a build, the batch replay through the app's peer, then the budget check (bench/budget.sh): the instructions of the
# barcode path under callgrind, which machine load does not change, and its heap blocks by length.
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
echo
# The batch replay through the app's own peer: 1,000 barcodes in one write, 50 measured rounds.
"$program" --burst=50 --log-file="$logs/burst-log.txt"

if ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed: no instruction counts"
  exit 0
fi
echo
KESTRA_BENCH_CALLGRIND_BARCODES=${KESTRA_BENCH_CALLGRIND_BARCODES:-1000} "$(dirname "$0")/budget.sh" "$build"
