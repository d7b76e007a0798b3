#!/usr/bin/env bash
# Splits a log whose middle line is a hole of MEBIBYTES NUL bytes with no
# newline (what a crashed node leaves in a log) with the tovlak of BUILD into
# OUTPUTS outputs, from the file, from a FIFO and gzip-compressed (where the
# build reads gzip), and checks every byte of every output; where BUILD runs
# natively, also that its peak memory stays within the bound (96 MiB from a
# plain log, 128 MiB from a compressed one), as `measure` (REFERENCE_BUILD's)
# sees it:
#   tools/long_line_check.sh BUILD REFERENCE_BUILD [MEBIBYTES [OUTPUTS]]
# (512 MiB and 8 outputs by default). Everything is made in a temporary
# directory and removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
reference=$(realpath "$2")
mib=${3:-512}
outputs=${4:-8}
work=$(mktemp -d "$root/long-line-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --build "$reference" --target measure > /dev/null
emulator=$(cat "$build/emulator" 2> /dev/null || true)
[ -f "$build/tovlak.exe" ] && emulator=wine

hole() { head -c $((mib << 20)) /dev/zero; }
{
  printf 'before (1,2,3,0)\n'
  hole
  printf '\nafter (1,2,3,1)\n'
} > "$work/hole.txt"
gzip -1 -c "$work/hole.txt" > "$work/gz.log.gz"

# What output INDEX must hold.
expected() {
  [ "$1" = 0 ] && printf 'before (1,2,3)\n'
  hole
  printf '\n'
  [ "$1" = 1 ] && printf 'after (1,2,3)\n'
  return 0
}
ways=(file fifo)
grep -q '\.gz' "$build/codecs" 2> /dev/null && ways+=(gz)
status=0
for way in "${ways[@]}"; do
  rm -f "$work"/run*.log* "$work"/gz[0-9]*.log.gz
  log=run.log
  case $way in
    file) ln "$work/hole.txt" "$work/run.log" ;;
    fifo)
      mkfifo "$work/run.log"
      cat "$work/hole.txt" > "$work/run.log" &
      ;;
    gz) log=gz.log.gz ;;
  esac
  read -r seconds kib _ < <(cd "$work" && "$reference/measure" "$root/tools/run_build.sh" "$build" "-d$outputs" "-l$log")
  wait
  same=yes
  for ((i = 0; i < outputs; i++)); do
    if [ "$way" = gz ]; then
      gzip -dc "$work/gz$i.log.gz" | cmp -s - <(expected $i) || same=no
    else
      cmp -s "$work/run$i.log" <(expected $i) || same=no
    fi
  done
  bound=96
  [ "$way" = gz ] && bound=128
  memory="peak RSS $((kib / 1024)) MiB (bound $bound MiB)"
  [ -n "$emulator" ] && memory="peak RSS not measured (under $emulator)"
  echo "$mib MiB hole from $way, -d$outputs: $seconds s, $memory, every output's bytes as expected: $same"
  [ "$same" = yes ] || status=1
  [ -n "$emulator" ] || [ "$kib" -le $((bound * 1024)) ] || status=1
done
exit $status
