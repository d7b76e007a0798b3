#!/usr/bin/env bash
# Times the Windows tovlak.exe under Wine against the Linux tovlak on the
# same logs, interleaved, and prints a table of medians and peak memory:
#   bench/wine.sh [RUNS] [WORK_DIR]     (RUNS defaults to 5)
# The logs are bench/run.sh's (256 MiB with 8 values, 64 MiB with 10,000),
# generated once into WORK_DIR (default build-bench/data). Wine is not
# Windows: this tells what the Windows build costs under Wine on this
# machine, not what it costs on Windows. Every single time goes to standard
# error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=$root/build-bench
windows=$root/build-bench-mingw64
work=${2:-$build/data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build" -j2 --target tovlak generate_log measure > /dev/null
cmake -S "$root" -B "$windows" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" > /dev/null
cmake --build "$windows" -j2 --target tovlak > /dev/null
read -r -a wine < "$windows/emulator" || true  # the record ends without a newline
measure=$build/measure

mkdir -p "$work/big" "$work/many" "$work/wine"
# shellcheck source=bench/logs.sh
. "$root/bench/logs.sh"
: > "$work/wine-empty.log"
cat "$work/big/big.log" "$work/many/many.log" > /dev/null # into the page cache
# Wine's server kept running between the runs, as it is on a machine that
# uses Wine, so that no run pays for starting it.
wineEnvironment=("${wine[@]:0:${#wine[@]}-1}")
wineserver=$(dirname "${wine[-1]}")/wineserver
"${wine[@]}" "$windows/tovlak.exe" > /dev/null 2>&1 || true # makes the prefix: usage, status -1
"${wineEnvironment[@]}" "$wineserver" -k || true # the one that run started, which would end on its own
"${wineEnvironment[@]}" "$wineserver" -p
trap '"${wineEnvironment[@]}" "$wineserver" -k' EXIT

rm -rf "$work/wine"
# shellcheck source=bench/stats.sh
. "$root/bench/stats.sh"
# One run in a new directory holding a link to the log: NAME LOG N PROGRAM...
# The directories are removed only at the end: ext4 passes over inodes freed
# in the last minute when it creates a file, so removing 10,000 files before
# a run would time the removal's bookkeeping rather than the run.
runIn() {
  local name=$1 log=$2 count=$3 dir="$work/wine/$1.$run"
  shift 3
  mkdir -p "$dir" && ln "$log" "$dir/run.log"
  sync
  record "$name" $(cd "$dir" && "$measure" "$@" "-d$count" -lrun.log 2> /dev/null)
}
for ((run = 0; run < runs; run++)); do
  runIn linux8 "$work/big/big.log" 8 "$build/tovlak"
  runIn wine8 "$work/big/big.log" 8 "${wine[@]}" "$windows/tovlak.exe"
  runIn linux10000 "$work/many/many.log" 10000 "$build/tovlak"
  runIn wine10000 "$work/many/many.log" 10000 "${wine[@]}" "$windows/tovlak.exe"
  # What creating the 10,000 files costs alone: an empty log.
  runIn linuxCreate "$work/wine-empty.log" 10000 "$build/tovlak"
  runIn wineCreate "$work/wine-empty.log" 10000 "${wine[@]}" "$windows/tovlak.exe"
  # What starting costs alone: -d0, refused at once.
  runIn linuxStart "$work/wine-empty.log" 0 "$build/tovlak"
  runIn wineStart "$work/wine-empty.log" 0 "${wine[@]}" "$windows/tovlak.exe"
done
rm -rf "$work/wine" "$work/wine-empty.log"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
declare -A med
for name in "${!times[@]}"; do med[$name]=$(median "${times[$name]}"); done
echo "seconds of each run, in order:" >&2
for name in linux8 wine8 linux10000 wine10000 linuxCreate wineCreate linuxStart wineStart; do echo "  $name: ${times[$name]}" >&2; done

echo "tovlak.exe under Wine against tovlak on Linux: $runs interleaved runs each, medians in seconds, $(nproc) cores, $(date -u +%F)"
echo
echo "| run | Linux tovlak | tovlak.exe under Wine | Wine/Linux | peak RSS MiB, Linux / Wine |"
echo "|---|---|---|---|---|"
echo "| -d8, 256 MiB log | ${med[linux8]} | ${med[wine8]} | $(ratio "${med[wine8]}" "${med[linux8]}") | $(mib "${memory[linux8]}") / $(mib "${memory[wine8]}") |"
echo "| -d10000, 64 MiB log | ${med[linux10000]} | ${med[wine10000]} | $(ratio "${med[wine10000]}" "${med[linux10000]}") | $(mib "${memory[linux10000]}") / $(mib "${memory[wine10000]}") |"
echo "| -d10000, empty log: creating the files alone | ${med[linuxCreate]} | ${med[wineCreate]} | $(ratio "${med[wineCreate]}" "${med[linuxCreate]}") | $(mib "${memory[linuxCreate]}") / $(mib "${memory[wineCreate]}") |"
echo "| -d0, refused at once: starting alone | ${med[linuxStart]} | ${med[wineStart]} | | $(mib "${memory[linuxStart]}") / $(mib "${memory[wineStart]}") |"
