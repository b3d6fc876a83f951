#!/usr/bin/env bash
# Checks that the commands the documentation shows still work as written:
# - every `make TARGET` is a phony rule of the Makefile with work to do (a folder named like a
#   lost rule would otherwise make `make TARGET` succeed without doing anything);
# - every `ctest ...` command, run from the project root as shown, finds at least one test;
# - every test program shown with a --gtest_filter runs at least one test, and passes.
# Run it after a build: ctest needs the configured build folders.
#   scripts/check-docs.sh [FILE.md ...]   (README.md, BENCHMARKS.md and docs/*.md by default)
set -uo pipefail
cd "$(dirname "$0")/.."
docs=("$@")
[ ${#docs[@]} -gt 0 ] || docs=(README.md BENCHMARKS.md docs/*.md)

# Commands shown in the docs: inline code spans, and lines of fenced code blocks.
shown_commands() {
  awk '
    /^```/ { fenced = !fenced; next }
    fenced { sub(/[ \t]+#.*/, ""); print; next }
    {
      line = $0
      while (match(line, /`[^`]+`/)) {
        print substr(line, RSTART + 1, RLENGTH - 2)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "${docs[@]}"
}

# A command line is "VAR=value ... program args": drop the leading assignments.
strip_assignments() { sed -E 's/^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*=[^[:space:]]*[[:space:]]+)*//'; }

failures=0
fail() {
  echo "check-docs: $*" >&2
  failures=$((failures + 1))
}

phony=$(make -pRrq -f Makefile : 2>/dev/null | sed -n 's/^\.PHONY: //p' | tr ' ' '\n')
targets=$(shown_commands | strip_assignments | grep -oE '^make [a-z][a-z0-9_-]*' | awk '{print $2}' | sort -u)
for target in $targets; do
  if ! grep -qxF "$target" <<<"$phony"; then
    fail "\`make $target\` is shown in the docs but is not a phony rule of the Makefile"
    continue
  fi
  # -n prints what the rule would run without running it; a rule with nothing to run is lost.
  plan=$(make -n "$target" 2>&1)
  if [ $? -ne 0 ] || grep -qE "Nothing to be done|is up to date|No rule to make target" <<<"$plan" ||
    [ -z "$plan" ]; then
    fail "\`make $target\` has no work to do: $(head -n 1 <<<"$plan")"
  fi
done

checked=0
while IFS= read -r command; do
  [ -n "$command" ] || continue
  read -ra words <<<"$command"
  found=$("${words[@]}" -N 2>&1 | sed -n 's/^Total Tests: //p')
  if [ -z "$found" ] || [ "$found" -eq 0 ]; then
    fail "\`$command\`, run from the project root, finds no tests"
  fi
  checked=$((checked + 1))
done < <(shown_commands | strip_assignments | grep -E '^ctest ' | sort -u)

# Every test program run by hand with a filter, as shown: it must run at least one test and pass.
programs=0
while IFS= read -r command; do
  [ -n "$command" ] || continue
  # The words as a shell would split them, quotes removed (filters are quoted against globbing).
  eval "words=($command)"
  program=${words[0]}
  if [ ! -x "$program" ]; then
    fail "\`$command\`: no program $program (run after make test)"
    continue
  fi
  case "$program" in build/linux-x86/*) runner=(${X86_RUN:-}) ;; *) runner=() ;; esac
  output=$("${runner[@]}" "${words[@]}" 2>&1)
  if [ $? -ne 0 ] || ! grep -qE '^\[  PASSED  \] [1-9]' <<<"$output"; then
    fail "\`$command\` runs no test or fails: $(tail -n 3 <<<"$output")"
  fi
  programs=$((programs + 1))
done < <(shown_commands | strip_assignments | grep -E '^build/[^ ]+ .*--gtest_filter' | sort -u)

echo "check-docs: $(wc -w <<<"$targets") make rules, $checked ctest commands and $programs test programs shown in ${docs[*]}; $failures problems"
[ "$failures" -eq 0 ]
