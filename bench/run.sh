#!/usr/bin/env bash
# Benchmarks tovlak against a plain copy and against split, interleaved, and
# prints a table of medians, ratios and peak memory.
#   bench/run.sh [RUNS] [WORK_DIR]      (RUNS defaults to 5, at least 5 is sensible)
# The logs are generated once, deterministically, into WORK_DIR (default
# build-bench/data); every run starts with its previous outputs removed and
# the file system synced, outside the timing. The medians go to standard
# output as a table, every single time to standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=$root/build-bench
work=${2:-$build/data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target tovlak generate_log measure route_floor >/dev/null
tovlak=$build/tovlak
# The same program built without the vector instructions.
cmake -S "$root" -B "$build-portable" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTOVLAK_SIMD=OFF >/dev/null
cmake --build "$build-portable" -j2 --target tovlak >/dev/null
portable=$build-portable/tovlak
measure=$build/measure

# The formats after gzip and zstd: each one's tovlak runs, pipeline, and
# floors (its tool decompressing the log, and compressing the plain outputs).
formats=(xz bz2 lz4)
declare -A defaultLevel=([xz]="xz -6" [bz2]="bzip2 -9" [lz4]="lz4 -q -1")
declare -A outputLevel=([xz]="xz -1 -T1" [bz2]="bzip2 -9" [lz4]="lz4 -q -1")
declare -A decompress=([xz]="xz -dc" [bz2]="bzip2 -dc" [lz4]="lz4 -q -dc")
mkdir -p "$work/big" "$work/quarter" "$work/split" "$work/floor" "$work/many" "$work/touch" "$work/gz" "$work/zst" \
  "$work/gzpipe" "$work/zstpipe" "$work/plainouts"
for format in "${formats[@]}"; do mkdir -p "$work/$format" "$work/${format}pipe"; done
# shellcheck source=bench/logs.sh
. "$root/bench/logs.sh"
generate "$work/quarter/quarter.log" 64 8 20000
# The compressed logs, as the gzip and zstd tools make them by default (-6, -3).
compress() {  # PLAIN COMPRESSED TOOL...
  local plain=$1 packed=$2
  shift 2
  if [ ! -f "$packed" ] || [ "$packed" -ot "$plain" ]; then "$@" -c "$plain" > "$packed"; fi
}
compress "$work/big/big.log" "$work/gz/big.log.gz" gzip -6
compress "$work/big/big.log" "$work/zst/big.log.zst" zstd -q -3
compress "$work/many/many.log" "$work/many/many.log.gz" gzip -6
compress "$work/many/many.log" "$work/many/many.log.zst" zstd -q -3
for format in "${formats[@]}"; do
  # shellcheck disable=SC2086
  compress "$work/big/big.log" "$work/$format/big.log.$format" ${defaultLevel[$format]}
  # shellcheck disable=SC2086
  compress "$work/many/many.log" "$work/many/many.log.$format" ${defaultLevel[$format]}
done
# The plain outputs, which the compressors' floors compress.
if [ ! -f "$work/plainouts/big7.log" ]; then
  ln -f "$work/big/big.log" "$work/plainouts/big.log"
  (cd "$work/plainouts" && "$tovlak" -d8 -lbig.log)
fi
if [ ! -f "$work/touch/names" ]; then
  for ((i = 0; i < 10000; i++)); do echo "empty$i.log"; done > "$work/touch/names"
fi
cat "$work"/*/*.log "$work"/*/*.log.* > /dev/null  # into the page cache

# Removes the previous outputs and lets the file system settle, so that
# neither the removal nor the write-back of the run before is timed.
fresh() {
  rm -f "$@"
  sync
}

declare -A times memory cpu
record() {  # NAME then the output of measure: SECONDS KIB CPU_SECONDS
  times[$1]+="$2 "
  memory[$1]=$(( ${memory[$1]:-0} > $3 ? ${memory[$1]:-0} : $3 ))
  cpu[$1]+="$4 "
}
# The runs with 10,000 outputs each get a directory of their own, removed
# only at the end: ext4 passes over inodes freed in the last minute when it
# creates a file, so removing 10,000 files before each run would time the
# file system's bookkeeping of the run before rather than the run.
rm -rf "$work"/many/run* "$work"/touch/run*
for ((run = 0; run < runs; run++)); do
  fresh "$work"/big/big?.log
  record tovlak8 $(cd "$work/big" && "$measure" "$tovlak" -d8 -lbig.log)
  fresh "$work"/big/big?.log
  record terminal8 $(cd "$work/big" && "$measure" -t "$tovlak" -d8 -lbig.log)
  fresh "$work"/big/big?.log
  record portable8 $(cd "$work/big" && "$measure" "$portable" -d8 -lbig.log)
  fresh "$work"/floor/floor*
  record floor8 $(cd "$work/floor" && "$measure" "$build/route_floor" 8 "$work/big/big.log")
  fresh "$work/big/copy"
  record cat $("$measure" -o "$work/big/copy" cat "$work/big/big.log")
  fresh "$work"/split/x*
  record split $(cd "$work/split" && "$measure" split -n r/8 "$work/big/big.log" x)
  fresh "$work"/gz/big?.log.gz
  record gz8 $(cd "$work/gz" && "$measure" "$tovlak" -d8 -lbig.log.gz)
  fresh "$work"/gzpipe/out*
  record gzpipe $(cd "$work/gzpipe" && "$measure" sh -c \
    'gzip -dc ../gz/big.log.gz | split -n r/8 --filter="gzip -1 > \$FILE.gz" - out')
  record gzdc $("$measure" -o /dev/null gzip -dc "$work/gz/big.log.gz")
  fresh "$work"/zst/big?.log.zst
  record zst8 $(cd "$work/zst" && "$measure" "$tovlak" -d8 -lbig.log.zst)
  fresh "$work"/zstpipe/out*
  record zstpipe $(cd "$work/zstpipe" && "$measure" sh -c \
    'zstd -dc ../zst/big.log.zst | split -n r/8 --filter="zstd -1 -q > \$FILE.zst" - out')
  for format in "${formats[@]}"; do
    fresh "$work/$format"/big?.log.$format
    record "${format}8" $(cd "$work/$format" && "$measure" "$tovlak" -d8 -lbig.log.$format)
    fresh "$work/${format}pipe"/out*
    record "${format}pipe" $(cd "$work/${format}pipe" && "$measure" sh -c \
      "${decompress[$format]} ../$format/big.log.$format | split -n r/8 --filter='${outputLevel[$format]} > \$FILE.$format' - out")
    record "${format}dc" $("$measure" -o /dev/null ${decompress[$format]} "$work/$format/big.log.$format")
    record "${format}tool" $(cd "$work/plainouts" && "$measure" sh -c \
      "for plain in big?.log; do ${outputLevel[$format]} -c \$plain > /dev/null; done")
  done
  fresh "$work"/quarter/quarter?.log
  record quarter8 $(cd "$work/quarter" && "$measure" "$tovlak" -d8 -lquarter.log)
  mkdir "$work/many/run$run" "$work/touch/run$run" "$work/many/gz$run" "$work/many/zst$run"
  ln "$work/many/many.log" "$work/many/run$run/many.log"
  ln "$work/many/many.log.gz" "$work/many/gz$run/many.log.gz"
  ln "$work/many/many.log.zst" "$work/many/zst$run/many.log.zst"
  # The pair runs in turn in either order, as both create files in the
  # same block group of the file system.
  for job in $( ((run % 2 == 0)) && echo "many touch" || echo "touch many"); do
    sync
    if [ "$job" = many ]; then
      record tovlak10000 $(cd "$work/many/run$run" && "$measure" "$tovlak" -d10000 -lmany.log)
    else
      record touchcat $(cd "$work/touch/run$run" && "$measure" sh -c 'xargs touch < ../names && cat ../../many/many.log > copy')
    fi
  done
  sync
  record gz10000 $(cd "$work/many/gz$run" && "$measure" "$tovlak" -d10000 -lmany.log.gz)
  sync
  record zst10000 $(cd "$work/many/zst$run" && "$measure" "$tovlak" -d10000 -lmany.log.zst)
  for format in "${formats[@]}"; do
    mkdir "$work/many/$format$run"
    ln "$work/many/many.log.$format" "$work/many/$format$run/many.log.$format"
    sync
    record "${format}10000" $(cd "$work/many/$format$run" && "$measure" "$tovlak" -d10000 -lmany.log.$format)
  done
done
# Sizes: the outputs of the last runs against each plain output compressed
# whole by the tools at level 1.
totalSize() { cat "$@" | wc -c; }
gzOut=$(totalSize "$work"/gz/big?.log.gz)
zstOut=$(totalSize "$work"/zst/big?.log.zst)
fresh "$work"/big/big?.log
(cd "$work/big" && "$tovlak" -d8 -lbig.log)
gzTool=0
zstTool=0
declare -A formatOut formatTool
for format in "${formats[@]}"; do
  formatOut[$format]=$(totalSize "$work/$format"/big?.log.$format)
  formatTool[$format]=0
done
for plain in "$work"/big/big?.log; do
  gzTool=$((gzTool + $(gzip -1 -c "$plain" | wc -c)))
  zstTool=$((zstTool + $(zstd -q -1 -c "$plain" | wc -c)))
  for format in "${formats[@]}"; do
    # shellcheck disable=SC2086
    formatTool[$format]=$((formatTool[$format] + $(${outputLevel[$format]} -c "$plain" | wc -c)))
  done
done
# With 10,000 outputs each member is small: the gzip and zstd outputs of the
# log with 10,000 values against each plain output compressed whole.
rm -rf "$work/many/sizes" && mkdir "$work/many/sizes"
ln "$work/many/many.log" "$work/many/sizes/many.log"
ln "$work/many/many.log.gz" "$work/many/sizes/many.log.gz"
ln "$work/many/many.log.zst" "$work/many/sizes/many.log.zst"
(cd "$work/many/sizes" && "$tovlak" -d10000 -lmany.log && "$tovlak" -d10000 -lmany.log.gz &&
  "$tovlak" -d10000 -lmany.log.zst)
manyGzOut=$(cat "$work"/many/sizes/many[0-9]*.log.gz | wc -c)
manyZstOut=$(cat "$work"/many/sizes/many[0-9]*.log.zst | wc -c)
manyGzTool=0
manyZstTool=0
for ((i = 0; i < 10000; i++)); do
  plain="$work/many/sizes/many$i.log"
  manyGzTool=$((manyGzTool + $(gzip -1 -c "$plain" | wc -c)))
  manyZstTool=$((manyZstTool + $(zstd -q -1 -c "$plain" | wc -c)))
done
rm -rf "$work/many/sizes"
rm -f "$work"/big/big?.log "$work"/big/copy "$work"/floor/floor* "$work"/split/x* "$work"/quarter/quarter?.log "$work"/gz/big?.log.gz \
  "$work"/zst/big?.log.zst "$work"/gzpipe/out* "$work"/zstpipe/out*
rm -rf "$work"/many/run* "$work"/many/gz[0-9]* "$work"/many/zst[0-9]* "$work"/touch/run*
for format in "${formats[@]}"; do rm -rf "$work/$format"/big?.log.$format "$work/${format}pipe"/out* "$work/many/$format"[0-9]*; done

median() { tr ' ' '\n' <<< "$1" | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
declare -A med medCpu
for name in "${!times[@]}"; do
  med[$name]=$(median "${times[$name]}")
  medCpu[$name]=$(median "${cpu[$name]}")
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

echo "seconds of each run, in order:" >&2
for name in tovlak8 terminal8 portable8 floor8 cat split quarter8 tovlak10000 touchcat gz8 gzpipe gzdc zst8 zstpipe \
  gz10000 zst10000; do echo "  $name: ${times[$name]}" >&2; done
for format in "${formats[@]}"; do
  for name in "${format}8" "${format}pipe" "${format}dc" "${format}tool" "${format}10000"; do echo "  $name: ${times[$name]}" >&2; done
done
echo "tovlak benchmark: $runs interleaved runs each, medians in seconds, $(nproc) cores, $(date -u +%F)"
echo
# CPU time beside wall time, and their ratio: how many cores the run kept busy.
withCpu() { echo "${med[$1]} (CPU ${medCpu[$1]}, $(ratio "${medCpu[$1]}" "${med[$1]}") cores)"; }
echo "| run | median s | ratio | target | peak RSS MiB |"
echo "|---|---|---|---|---|"
echo "| tovlak -d8, 256 MiB log | ${med[tovlak8]} | | | $(mib "${memory[tovlak8]}") (target ≤ 16) |"
echo "| routing floor: lines copied into 8 buffers and files, no group parsed, 256 MiB | ${med[floor8]} (CPU ${medCpu[floor8]}) | tovlak/floor $(ratio "${med[tovlak8]}" "${med[floor8]}"), CPU $(ratio "${medCpu[tovlak8]}" "${medCpu[floor8]}") | ≤ 1.15 | $(mib "${memory[floor8]}") |"
echo "| tovlak -d8, standard error a terminal, 256 MiB | ${med[terminal8]} | terminal/not $(ratio "${med[terminal8]}" "${med[tovlak8]}") | about 1 | |"
echo "| tovlak -d8 without SIMD, 256 MiB | ${med[portable8]} | without/with SIMD $(ratio "${med[portable8]}" "${med[tovlak8]}") | ≤ 2.0 | $(mib "${memory[portable8]}") |"
echo "| cat LOG > COPY, 256 MiB | ${med[cat]} | tovlak/cat $(ratio "${med[tovlak8]}" "${med[cat]}") | ≤ 2.0 | |"
echo "| split -n r/8, 256 MiB | ${med[split]} | tovlak/split $(ratio "${med[tovlak8]}" "${med[split]}") | ≤ 0.4 | |"
echo "| tovlak -d8, 64 MiB log | ${med[quarter8]} | 256 MiB/64 MiB $(ratio "${med[tovlak8]}" "${med[quarter8]}") | about 4 | $(mib "${memory[quarter8]}") |"
echo "| tovlak -d10000, 64 MiB log | ${med[tovlak10000]} | | | $(mib "${memory[tovlak10000]}") (target ≤ 64) |"
echo "| touch 10000 files + cat, 64 MiB | ${med[touchcat]} | tovlak/(touch+cat) $(ratio "${med[tovlak10000]}" "${med[touchcat]}") | ≤ 1.5 | |"
echo "| tovlak -d8, gzip -6 log to gzip outputs, 256 MiB | $(withCpu gz8) | CPU/wall | ≥ 1.75 on 2 cores | $(mib "${memory[gz8]}") (target ≤ 32) |"
echo "| gzip -dc LOG \\| split -n r/8 --filter='gzip -1 > \$FILE.gz' | $(withCpu gzpipe) | tovlak/pipeline $(ratio "${med[gz8]}" "${med[gzpipe]}") | ≤ 0.4 | |"
echo "| gzip -dc LOG > /dev/null | ${med[gzdc]} | tovlak/gzip -dc $(ratio "${med[gz8]}" "${med[gzdc]}") | ≤ 0.55 | |"
echo "| tovlak -d8, zstd -3 log to zstd outputs, 256 MiB | $(withCpu zst8) | CPU/wall | ≥ 1.75 on 2 cores | $(mib "${memory[zst8]}") (target ≤ 32) |"
echo "| zstd -dc LOG \\| split -n r/8 --filter='zstd -1 -q > \$FILE.zst' | $(withCpu zstpipe) | tovlak/pipeline $(ratio "${med[zst8]}" "${med[zstpipe]}") | ≤ 0.6 | |"
echo "| tovlak -d10000, gzip log, 64 MiB | $(withCpu gz10000) | | | $(mib "${memory[gz10000]}") (target ≤ 96) |"
echo "| tovlak -d10000, zstd log, 64 MiB | $(withCpu zst10000) | | | $(mib "${memory[zst10000]}") (target ≤ 96) |"
for format in "${formats[@]}"; do
  cores=""
  [ "$format" = lz4 ] || cores="≥ 1.75 on 2 cores"
  echo "| tovlak -d8, ${defaultLevel[$format]} log to $format outputs, 256 MiB | $(withCpu "${format}8") | CPU/wall | $cores | $(mib "${memory[${format}8]}") (target ≤ 64) |"
  echo "| ${decompress[$format]} LOG \\| split -n r/8 --filter='${outputLevel[$format]} > \$FILE' | $(withCpu "${format}pipe") | tovlak/pipeline $(ratio "${med[${format}8]}" "${med[${format}pipe]}") | ≤ 0.6 | $(mib "${memory[${format}pipe]}") |"
  echo "| floor: ${decompress[$format]} LOG > /dev/null | $(withCpu "${format}dc") | tovlak/floor $(ratio "${med[${format}8]}" "${med[${format}dc]}") | | |"
  echo "| floor: ${outputLevel[$format]} on each plain output in turn | $(withCpu "${format}tool") | tovlak CPU/floor CPU $(ratio "${medCpu[${format}8]}" "${medCpu[${format}tool]}") | | |"
  echo "| tovlak -d10000, $format log, 64 MiB | $(withCpu "${format}10000") | | | $(mib "${memory[${format}10000]}") (target ≤ 128) |"
done
echo
echo "| outputs, 256 MiB log, -d8 | bytes | ratio to the tool at -1 on each plain output | target |"
echo "|---|---|---|---|"
echo "| gzip outputs | $gzOut | $(ratio "$gzOut" "$gzTool") (gzip -1: $gzTool) | ≤ 1.10 |"
echo "| zstd outputs | $zstOut | $(ratio "$zstOut" "$zstTool") (zstd -1: $zstTool) | ≤ 1.10 |"
for format in "${formats[@]}"; do
  echo "| $format outputs | ${formatOut[$format]} | $(ratio "${formatOut[$format]}" "${formatTool[$format]}") (${outputLevel[$format]}: ${formatTool[$format]}) | ≤ 1.10 |"
done
echo
echo "| outputs, 64 MiB log, -d10000 | bytes | ratio to the tool at -1 on each plain output | target |"
echo "|---|---|---|---|"
echo "| gzip outputs | $manyGzOut | $(ratio "$manyGzOut" "$manyGzTool") (gzip -1: $manyGzTool) | reported |"
echo "| zstd outputs | $manyZstOut | $(ratio "$manyZstOut" "$manyZstTool") (zstd -1: $manyZstTool) | reported |"
