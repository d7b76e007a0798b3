#!/usr/bin/env bash
# Splits 8 logs of 64 MiB with -d8, one tovlak at a time and then two at a
# time with xargs -P 2, interleaved, and prints the median of each:
#   bench/many_logs.sh [RUNS] [WORK_DIR]     (RUNS defaults to 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=$root/build-bench
work=${2:-$build/many-logs}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target tovlak generate_log measure >/dev/null
mkdir -p "$work"
for i in 1 2 3 4 5 6 7 8; do
  [ -f "$work/log$i.log" ] || "$build/generate_log" 64 8 20000 "$i" > "$work/log$i.log"
done
cat "$work"/log?.log > /dev/null  # into the page cache
cd "$work"
one=() two=()
for ((run = 0; run < runs; run++)); do
  rm -f log?[0-7].log && sync
  one+=("$("$build/measure" sh -c "for f in log?.log; do '$build/tovlak' -d8 -l\$f; done" | cut -d' ' -f1)")
  rm -f log?[0-7].log && sync
  two+=("$("$build/measure" sh -c "ls log?.log | xargs -P 2 -I{} '$build/tovlak' -d8 -l{}" | cut -d' ' -f1)")
done
rm -f log?[0-7].log
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
echo "one at a time: ${one[*]}" >&2
echo "two at a time: ${two[*]}" >&2
a=$(median "${one[@]}") b=$(median "${two[@]}")
echo "| 8 logs of 64 MiB, -d8 | median s |"
echo "|---|---|"
echo "| one at a time | $a |"
echo "| two at a time (xargs -P 2) | $b ($(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}') × faster) |"
