#!/usr/bin/env bash
# Times the static x86-64 tovlak (-DTOVLAK_STATIC=ON, as tools/release.sh
# ships it) against the dynamically linked one, interleaved, on bench/run.sh's
# 256 MiB log plain, gzip -6 and zstd -3, with 8 outputs, and prints a table
# of medians, ratios and peak memory:
#   bench/static.sh [RUNS] [WORK_DIR]     (RUNS defaults to 7)
# The logs are generated once into WORK_DIR (default build-bench/data). The
# order of the two alternates from run to run. Every single time goes to
# standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
build=$root/build-bench
static=$root/build-bench-static
work=${2:-$build/data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build" -j2 --target tovlak generate_log measure > /dev/null
cmake -S "$root" -B "$static" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTOVLAK_STATIC=ON > /dev/null
cmake --build "$static" -j2 --target tovlak > /dev/null
measure=$build/measure

mkdir -p "$work/big" "$work/many" "$work/static"
# shellcheck source=bench/logs.sh
. "$root/bench/logs.sh"
[ -f "$work/static/big.log.gz" ] || gzip -6 -c "$work/big/big.log" > "$work/static/big.log.gz"
[ -f "$work/static/big.log.zst" ] || zstd -q -3 -c "$work/big/big.log" > "$work/static/big.log.zst"
ln -f "$work/big/big.log" "$work/static/big.log"
cat "$work"/static/big.log* > /dev/null # into the page cache

# shellcheck source=bench/stats.sh
. "$root/bench/stats.sh"
for ((run = 0; run < runs; run++)); do
  order="dynamic static"
  ((run % 2 == 0)) || order="static dynamic"
  for log in big.log big.log.gz big.log.zst; do
    for kind in $order; do
      program=$build/tovlak
      [ "$kind" = static ] && program=$static/tovlak
      rm -f "$work"/static/big?.log*
      sync
      # shellcheck disable=SC2046
      record "$kind $log" $(cd "$work/static" && "$measure" "$program" -d8 "-l$log")
    done
  done
done
rm -f "$work"/static/big?.log*

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
echo "seconds of each run, in order:" >&2
for name in "${!times[@]}"; do echo "  $name: ${times[$name]}" >&2; done
echo "static against dynamic tovlak: $runs interleaved runs each, medians in seconds, $(nproc) cores, $(date -u +%F)"
echo
echo "| run, -d8, 256 MiB | dynamic s | static s | static/dynamic | target | peak RSS MiB dynamic / static |"
echo "|---|---|---|---|---|---|"
for log in big.log big.log.gz big.log.zst; do
  dynamic=$(median "${times[dynamic $log]}")
  fixed=$(median "${times[static $log]}")
  echo "| $log | $dynamic | $fixed | $(ratio "$fixed" "$dynamic") | ≤ 1.05 | $(mib "${memory[dynamic $log]}") / $(mib "${memory[static $log]}") |"
done
echo
echo "size of tovlak: dynamic $(($(stat -c %s "$build/tovlak") / 1024)) KiB, static $(($(stat -c %s "$static/tovlak") / 1024)) KiB (neither stripped)"
