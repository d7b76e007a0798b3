#!/usr/bin/env bash
# Splits the same logs with the tovlak of every build given and checks that
# each writes the same bytes, the same messages and the same status as the
# first:  tools/compare_builds.sh REFERENCE_BUILD BUILD...
# The logs: the sample, a generated log, the plain fuzz seeds one by one and
# all together, and lines that cross every vector width, with NUL bytes. (The
# decoder's seeds are compressed: builds with another gzip library, or none,
# rightly write other bytes for them.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reference=$(realpath "$1")
builds=()
for build in "${@:2}"; do builds+=("$(realpath "$build")"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/logs"
cp "$root/examples/run.log" "$work/logs/sample.log"
"$reference/generate_log" 4 8 20000 3 > "$work/logs/generated.log"
i=0
for seed in "$root"/fuzz/corpus/{rewrite,split}/*; do cp "$seed" "$work/logs/seed$((i++)).log"; done
cat "$root"/fuzz/corpus/{rewrite,split}/* > "$work/logs/seeds.log"
awk 'BEGIN {
  for (n = 0; n < 140; n++) {
    pad = sprintf("%" n "s", ""); gsub(/ /, "x", pad)
    printf "%s(1,2,3,%d)%s\n", pad, n % 3, pad
    printf "%s(%d,2,3,-1)\n(,1,2,3)%s\n", pad, n % 3, pad
    printf "%s\0(1,\0,2,3,%d) tail\n", pad, n % 3
  }
}' > "$work/logs/widths.log"
printf '(1,2,3,0)\n(1,2,3,7)\nafter\n' > "$work/logs/outside.log"

# One run: the outputs, standard error and status, in a directory of its own.
runOnce() {  # BUILD LOG OPTION... -> directory
  local build=$1 log=$2 dir
  shift 2
  dir=$work/runs/$(basename "$build")/$(basename "$log")$(printf '%s' "$@")
  mkdir -p "$dir"
  cp "$log" "$dir/in.log"
  status=0
  (cd "$dir" && "$root/tools/run_build.sh" "$build" "$@" -lin.log 2> stderr) || status=$?
  echo "$status" > "$dir/status"
  rm "$dir/in.log"
  echo "$dir"
}

failures=0
runs=0
for log in "$work"/logs/*.log; do
  for options in "-d3" "-d3 -f" "-d1" "-d16"; do
    # shellcheck disable=SC2086
    expected=$(runOnce "$reference" "$log" $options)
    for build in "${builds[@]}"; do
      # shellcheck disable=SC2086
      got=$(runOnce "$build" "$log" $options)
      runs=$((runs + 1))
      if ! diff -r "$expected" "$got" > /dev/null; then
        echo "differs from $(basename "$reference"): $(basename "$build") on $(basename "$log") $options" >&2
        failures=$((failures + 1))
      fi
    done
  done
done
echo "compared $runs runs against $(basename "$reference"): $failures differ"
[ "$failures" -eq 0 ]
