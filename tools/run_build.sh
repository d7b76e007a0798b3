#!/usr/bin/env bash
# Runs a program of a build directory, through the emulator the build was
# configured with (qemu for 64-bit Arm, s390x, or 32-bit x86 on a machine
# that cannot run it; Wine for Windows), which CMake records in
# BUILD_DIR/emulator:
#   tools/run_build.sh BUILD_DIR [-p PROGRAM] ARG...    (PROGRAM: tovlak)
set -euo pipefail
build=$1
shift
program=tovlak
if [ "${1:-}" = -p ]; then
  program=$2
  shift 2
fi
emulator=$(cat "$build/emulator" 2> /dev/null || true)
[ -f "$build/$program.exe" ] && program=$program.exe
# shellcheck disable=SC2086
exec $emulator "$build/$program" "$@"
