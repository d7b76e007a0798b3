#!/usr/bin/env bash
# Times tovlak on logs whose lines are far longer than it holds in memory,
# against logs of ordinary lines of the same size, interleaved, and prints
# a table of medians, seconds per MiB against the ordinary log that is
# routed the same way, and peak memory:
#   bench/long_lines.sh [MEBIBYTES] [RUNS] [WORK_DIR] [OTHER_TOVLAK]
# (MEBIBYTES defaults to 512, RUNS to 5, WORK_DIR to build-bench/long.) With
# OTHER_TOVLAK, another build (an older one, say) runs each log too, in turn
# with this one. The ordinary logs:
#   ordinary   lines of points, each to one output
#   broadcast  lines without a point, each to every output
# The long lines, each of about MEBIBYTES:
#   hole   a line of NUL bytes between two lines (a file system's hole), to
#          every output, so held against the broadcast log
#   comma  a group whose third comma comes at the line's end
#   paren  a '(' followed by the whole line and no comma, to every output
#   end    a qualifying group at the very end of the line
# each split with -d2 from the file, from a FIFO (held in a temporary file
# beside the outputs) and gzip-compressed (-1). The logs are made once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-512}
runs=${2:-5}
build=$root/build-bench
work=${3:-$build/long}
other=${4:-}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build" -j2 --target tovlak generate_log measure > /dev/null
measure=$build/measure
mkdir -p "$work"
cd "$work"

# The logs, made once for each size.
cases=(ordinary broadcast hole comma paren end)
if [ "$(cat params 2> /dev/null)" != "$mib" ]; then
  "$build/generate_log" "$mib" 2 20000 1 > ordinary.log
  "$build/generate_log" "$mib" 2 1000000 1 > broadcast.log
  python3 - "$mib" << 'EOF'
import sys
size = int(sys.argv[1]) << 20
def write(name, head, fill, tail):
    with open(name, 'wb') as out:
        out.write(head)
        piece = fill * (1 << 20)
        for _ in range(size >> 20):
            out.write(piece)
        out.write(tail)
write('hole.log', b'before (1,2,3,0)\n', b'\0', b'\nafter (1,2,3,1)\n')
write('comma.log', b'(1,2,', b'x', b',1,0)\n')
write('paren.log', b'(', b'y', b'\n(1,2,3,0)\n')
write('end.log', b'', b'z', b'(1,2,3,1)\n')
EOF
  for name in "${cases[@]}"; do gzip -1 -c "$name.log" > "$name.log.gz"; done
  echo "$mib" > params
fi
cat ./*.log ./*.gz > /dev/null  # into the page cache

programs=("$build/tovlak")
[ -n "$other" ] && programs+=("$other")
# shellcheck source=bench/stats.sh
. "$root/bench/stats.sh"
# One run of PROGRAM on a case, from WAY (file, fifo, gz), recorded as
# "WHICH CASE WAY"; the outputs removed afterwards, outside the timing.
one() {  # WHICH PROGRAM CASE WAY
  local which=$1 program=$2 name=$3 way=$4
  rm -f run*.log* pipe.log && sync
  case $way in
    file) ln -f "$name.log" run.log && log=run.log ;;
    gz) ln -f "$name.log.gz" run.log.gz && log=run.log.gz ;;
    fifo)
      mkfifo run.log && log=run.log
      cat "$name.log" > run.log &
      ;;
  esac
  # shellcheck disable=SC2046
  record "$which $name $way" $("$measure" "$program" -d2 "-l$log" || echo "failed 0 0")
  wait
  rm -f run*.log*
}
for ((run = 0; run < runs; run++)); do
  for name in "${cases[@]}"; do
    for way in file fifo gz; do
      for ((p = 0; p < ${#programs[@]}; p++)); do
        # The two builds in turn, the first one first every other run.
        index=$(((p + run) % ${#programs[@]}))
        which=now
        ((index == 0)) || which=other
        one "$which" "${programs[$index]}" "$name" "$way"
      done
    done
  done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 == 0 || b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }
echo "seconds of each run:" >&2
for name in "${!times[@]}"; do echo "  $name: ${times[$name]}" >&2; done
echo "long lines, $mib MiB each, tovlak -d2: $runs interleaved runs, medians in seconds, $(nproc) cores, $(date -u +%F)"
echo
header="| log | from | seconds | per MiB against ordinary lines routed alike | peak RSS MiB |"
[ -n "$other" ] && header="| log | from | seconds | per MiB against ordinary lines routed alike | peak RSS MiB | other build: seconds | peak RSS MiB |"
echo "$header"
echo "$header" | sed 's/[^|]*|/---|/g; s/^---//'
for name in "${cases[@]}"; do
  for way in file fifo gz; do
    now=$(median "${times[now $name $way]}")
    reference=ordinary
    [[ $name == hole || $name == paren || $name == broadcast ]] && reference=broadcast
    ordinary=$(median "${times[now $reference $way]}")
    row="| $name | $way | $now | $(ratio "$now" "$ordinary") | $(mib "${memory[now $name $way]}") |"
    if [ -n "$other" ]; then
      row+=" $(median "${times[other $name $way]}") | $(mib "${memory[other $name $way]}") |"
    fi
    echo "$row"
  done
done
