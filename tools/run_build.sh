#!/usr/bin/env bash
# Runs the tovlak of a build directory, through qemu when it was built for
# 64-bit Arm:  tools/run_build.sh BUILD_DIR ARG...
set -euo pipefail
build=$1
shift
binary=$build/tovlak
# e_machine of the ELF header: 183 is AArch64.
if [ "$(od -An -j18 -N2 -tu2 "$binary" | tr -d ' ')" = 183 ] && [ "$(uname -m)" != aarch64 ]; then
  exec qemu-aarch64 "$binary" "$@"
fi
exec "$binary" "$@"
