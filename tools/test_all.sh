#!/usr/bin/env bash
# Builds tovlak and runs every test and check, stopping at the first failure:
#   1. formatting against .clang-format;
#   2. the test suite in a release build, warnings as errors;
#   3. the test suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. with clang: the two fuzz targets, FUZZ_SECONDS each (default 60), from
#      the seed corpus, and clang-tidy with .clang-tidy over every source.
# Build directories: build, build-asan, build-clang.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzzSeconds="${FUZZ_SECONDS:-60}"
sources=(src/*.h src/*.cpp fuzz/*.cpp bench/*.cpp)

step() { printf '\n=== %s\n' "$*"; }

step "formatting"
clang-format --dry-run --Werror "${sources[@]}"

step "release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOVLAK_WERROR=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure

step "AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTOVLAK_SANITIZE=ON -DTOVLAK_WERROR=ON
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure

step "clang build of the fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVLAK_SANITIZE=ON \
  -DTOVLAK_FUZZ=ON -DTOVLAK_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build build-clang -j2 --target rewrite_fuzzer split_fuzzer rewrite_replay split_replay

for target in rewrite split; do
  step "fuzzing ${target} for ${fuzzSeconds} s"
  # New inputs go to a corpus in the build directory; the seeds stay as they are.
  corpus="build-clang/corpus/${target}"
  mkdir -p "$corpus"
  "build-clang/${target}_replay" fuzz/corpus/"${target}"/*
  "build-clang/${target}_fuzzer" -max_total_time="$fuzzSeconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-clang/${target}-" "$corpus" "fuzz/corpus/${target}"
done

step "clang-tidy"
run-clang-tidy -quiet -p build-clang -j2 "$(pwd)/(src|fuzz|bench)/"

step "every test and check passed"
