# The benchmarks' logs, sourced by bench/run.sh and bench/wine.sh with
# $build (holding generate_log) and $work set: each generated once,
# deterministically, and again only when its parameters change. Makes the
# 256 MiB log with 8 values ($work/big/big.log) and the 64 MiB log with
# 10,000 ($work/many/many.log), which both benchmarks run.
generate() {  # FILE MEBIBYTES INDEX_COUNT PLAIN_PER_MILLION
  local stamp="$1.params" params="$2 $3 $4 1"
  if [ ! -f "$1" ] || [ "$(cat "$stamp" 2> /dev/null)" != "$params" ]; then
    # shellcheck disable=SC2086
    "$build/generate_log" $params > "$1"
    echo "$params" > "$stamp"
  fi
}
mkdir -p "$work/big" "$work/many"
generate "$work/big/big.log" 256 8 20000
generate "$work/many/many.log" 64 10000 100
