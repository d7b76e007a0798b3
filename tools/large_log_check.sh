#!/usr/bin/env bash
# Splits a log just over 2 GiB with -d1, so the output passes 2 GiB too, with
# the tovlak of BUILD, and checks that every byte arrives:
#   tools/large_log_check.sh BUILD REFERENCE_BUILD [WORK_DIR]
# PAST_GIB=4 makes the log and the output pass 4 GiB instead (the limit of
# a 32-bit size on Windows).
# The log is one block of lines repeated; the expected output is the
# reference build's output for the block, repeated as often, streamed into a
# comparison with the output, so no second copy is written. The block is
# large, so that the log takes few processes to write. Both files are removed
# afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
reference=$(realpath "$2")
work=$(mktemp -d "${3:-$root}/large-log-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$reference/generate_log" 64 1 20000 5 > "$work/block.log"
# The block ends its last line, so that no line spans two copies.
[ "$(tail -c 1 "$work/block.log" | od -An -c | tr -d ' ')" = '\n' ] || echo >> "$work/block.log"
cd "$work"
"$root/tools/run_build.sh" "$reference" -d1 -lblock.log
blockOut=$(stat -c %s "$work/block0.log")
repeats=$(( (${PAST_GIB:-2} * 1073741824 + 67108864) / blockOut + 1 ))
for ((i = 0; i < repeats; i++)); do cat "$work/block.log"; done > "$work/big.log"

status=0
"$root/tools/run_build.sh" "$build" -d1 -lbig.log 2> "$work/stderr" || status=$?
same=yes
cmp -s <(for ((i = 0; i < repeats; i++)); do cat "$work/block0.log"; done) "$work/big0.log" || same=no
echo "log $(stat -c %s "$work/big.log") bytes, output $(stat -c %s "$work/big0.log") bytes," \
  "expected $((blockOut * repeats)); status $status; same bytes as expected: $same"
[ "$status" -eq 0 ] && [ ! -s "$work/stderr" ] && [ "$same" = yes ]
