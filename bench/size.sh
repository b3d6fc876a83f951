#!/usr/bin/env bash
# The size budget of the shipped library, and its fitness for 16 KB pages: for every build folder
# given (every build/<preset> holding the library when none is), prints the library's stripped
# size against its preset's budget and checks that every loadable segment is aligned to at least
# 16 KB. Fails when a library is over its budget or a segment is aligned less.
#   bench/size.sh [BUILD_DIR ...]
# Builds of other presets (sanitizers, fuzzing) are listed without a budget.
set -euo pipefail
cd "$(dirname "$0")/.."

library=libcom_kestra_MobileBarcodeScanner.so
min_alignment=16384

# The budget of a preset in bytes, stripped: 128 KiB where the C++ runtime is linked in (clang
# with libc++, as the Android toolchain's c++_static), 64 KiB with GCC and the system's libstdc++.
budget_of() {
  case "$1" in
    linux-x86 | linux-x64) echo 65536 ;;
    linux-x86-libcxx | linux-arm64 | linux-armv7 | android-*) echo 131072 ;;
    *) echo "" ;;
  esac
}

builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then
  for folder in build/*/; do
    [ -f "$folder$library" ] && builds+=("${folder%/}")
  done
fi
if [ ${#builds[@]} -eq 0 ]; then
  echo "no library built under build/: build a preset first" >&2
  exit 1
fi

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
failed=0
echo "Stripped size of $library, and the alignment of its loadable segments (at least 0x4000):"
for build in "${builds[@]}"; do
  preset=$(basename "$build")
  if [ ! -f "$build/$library" ]; then
    echo "  $preset: no library (not built)"
    failed=1
    continue
  fi
  # The build's own strip knows its architecture (the NDK's for the Android presets).
  strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt" 2>/dev/null)
  "${strip:-strip}" --strip-all -o "$stripped" "$build/$library"
  size=$(stat -c %s "$stripped")
  alignments=$(readelf -lW "$stripped" | awk '$1 == "LOAD" { printf "%s%s", sep, $NF; sep = " " }')
  budget=$(budget_of "$preset")
  line=$(printf "  %-20s %7d bytes (%5.1f KiB)" "$preset" "$size" "$(awk -v s="$size" 'BEGIN { print s / 1024 }')")
  if [ -z "$budget" ]; then
    echo "$line  no budget (not a shipped configuration); LOAD alignment $alignments"
    continue
  fi
  verdict=""
  if [ "$size" -gt "$budget" ]; then
    verdict="  OVER BUDGET"
    failed=1
  fi
  low=""
  for alignment in $alignments; do
    [ $((alignment)) -lt $min_alignment ] && low="$low $alignment"
  done
  if [ -z "$alignments" ]; then
    low=" (no LOAD segment found)"
  fi
  if [ -n "$low" ]; then
    verdict="$verdict  ALIGNED BELOW 16 KB:$low"
    failed=1
  fi
  echo "$line  budget $((budget / 1024)) KiB; LOAD alignment $alignments$verdict"
done
if [ "$failed" -ne 0 ]; then
  echo "Size check: FAILED"
  exit 1
fi
echo "Size check: passed"
