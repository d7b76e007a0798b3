#!/usr/bin/env bash
# Succeeds where this machine runs 32-bit x86 programs itself; fails where
# it cannot (some kernels or the virtual machines under them refuse them
# with "Exec format error") or where TOVLAK_I386_UNDER_QEMU=1 asks for
# qemu-i386 anyway. The 32-bit builds are configured as cross builds run
# under qemu-i386 (cmake/i386-linux-gnu.cmake) where it fails.
set -uo pipefail
[ "${TOVLAK_I386_UNDER_QEMU:-0}" = 1 ] && exit 1
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main() { return 0; }' > "$probe/probe.cpp"
{ g++ -m32 "$probe/probe.cpp" -o "$probe/probe" && "$probe/probe"; } 2> /dev/null
