#!/usr/bin/env bash
# Runs the tovlak of a build directory, through qemu when it was built for
# another processor (64-bit Arm, s390x):  tools/run_build.sh BUILD_DIR ARG...
set -euo pipefail
build=$1
shift
binary=$build/tovlak
# e_machine in the ELF header, as its two bytes in file order: b7 00 is
# AArch64 (little-endian), 00 16 is s390x (big-endian).
case "$(od -An -j18 -N2 -tx1 "$binary" | tr -d ' \n')" in
  b700) [ "$(uname -m)" = aarch64 ] || exec qemu-aarch64 "$binary" "$@" ;;
  0016) [ "$(uname -m)" = s390x ] || exec qemu-s390x "$binary" "$@" ;;
esac
exec "$binary" "$@"
