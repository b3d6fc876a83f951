#!/usr/bin/env bash
# Configures and builds one preset with the build's output in a log, which is shown only when a
# step fails; prints one line per step.
#   scripts/build-quietly.sh PRESET LOG [options for cmake --build...]
# When the log cannot be written (a tree the user may not write, say), it says so and lets the
# output through as it comes, so that what is shown is always this run's.
set -uo pipefail
preset=${1:?usage: scripts/build-quietly.sh PRESET LOG [cmake --build options...]}
log=${2:?usage: scripts/build-quietly.sh PRESET LOG [cmake --build options...]}
shift 2

if mkdir -p "$(dirname "$log")" 2>/dev/null && : 2>/dev/null >"$log"; then
  run() { "$@" >>"$log" 2>&1; }
  failed() {
    cat "$log"
    echo "$preset: $1 failed (the output above is in $log)" >&2
    exit 1
  }
else
  echo "$preset: cannot write the build log $log; the build's output follows" >&2
  run() { "$@"; }
  failed() {
    echo "$preset: $1 failed" >&2
    exit 1
  }
fi

echo "$preset: configuring"
run cmake --preset "$preset" || failed "configuring"
echo "$preset: building"
run cmake --build --preset "$preset" "$@" || failed "the build"
