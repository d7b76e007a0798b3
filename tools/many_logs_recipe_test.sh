#!/usr/bin/env bash
# Runs the README's many-logs recipe, as printed there, twice over a folder of
# logs named as people name them (run.log and run1.log among them), with the
# tovlak of BUILD_DIR first on the path:
#   tools/many_logs_recipe_test.sh BUILD_DIR
# Fails unless both runs exit with 0, leave every log as it was, and give
# each log's outputs what tovlak gives that log alone in a folder of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
recipe=$(awk '/^## Many logs/ {section = 1} section && /^```sh$/ {inside = 1; next}
  inside && /^```$/ {exit} inside {print}' "$root/README.md")
[ -n "$recipe" ] || { echo "no recipe under '## Many logs' in README.md" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/logs" "$work/alone"
for name in run run1 run12 a; do
  awk -v seed=${#name} 'BEGIN { for (i = 0; i < 100000; i++) printf "t=%d (%d,2,3,%d) e\n", i * seed, i, (i * 7 + seed) % 8 }' \
    > "$work/logs/$name.log"
  mkdir "$work/alone/$name.log"
  cp "$work/logs/$name.log" "$work/alone/$name.log/"
  (cd "$work/alone/$name.log" && "$build/tovlak" -d8 "-l$name.log")
done
(cd "$work/logs" && sha256sum ./*.log > ../logs.sha256)
for pass in 1 2; do
  (cd "$work" && PATH="$build:$PATH" sh -e -c "$recipe") || { echo "pass $pass: the recipe failed" >&2; exit 1; }
  (cd "$work/logs" && sha256sum --quiet -c ../logs.sha256) || { echo "pass $pass: a log changed" >&2; exit 1; }
  [ "$(ls "$work/logs")" = "$(cd "$work/alone" && ls)" ] || { echo "pass $pass: new files in logs/" >&2; exit 1; }
  for dir in "$work"/alone/*/; do
    name=$(basename "$dir")
    for output in "$dir"*[0-7].log; do
      cmp "$output" "$work/split/$name/$(basename "$output")" || { echo "pass $pass: $name differs" >&2; exit 1; }
    done
  done
  echo "pass $pass: every log intact, every output as the log alone gives it"
done
