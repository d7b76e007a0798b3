# shellcheck shell=bash
# What the benchmark scripts share, sourced by them: each run's times and
# the peak memory per name, recorded from `measure`'s output, and a median.
declare -A times memory
record() { # NAME then the output of measure: SECONDS KIB CPU_SECONDS
  times[$1]+="$2 "
  memory[$1]=$((${memory[$1]:-0} > $3 ? ${memory[$1]:-0} : $3))
}
# The median of the numbers in a space-separated list.
median() { tr ' ' '\n' <<< "$1" | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
