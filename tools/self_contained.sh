#!/usr/bin/env bash
# Checks that each executable given needs nothing beside itself: a Linux one
# is static (no program interpreter, no NEEDED entry), a Windows one imports
# only Windows' own DLLs (KERNEL32, msvcrt, SHELL32). Prints one line for
# each and fails on the first that needs more, naming what it needs.
#   tools/self_contained.sh EXECUTABLE...
set -euo pipefail
for executable in "$@"; do
  if [[ $(file -b "$executable") == PE32* ]]; then
    imports=$(x86_64-w64-mingw32-objdump -p "$executable" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
    foreign=$(echo "$imports" | tr ' ' '\n' | grep -viE '^(KERNEL32|msvcrt|SHELL32)\.dll$' | grep . | tr '\n' ' ' || true)
    if [ -n "$foreign" ]; then
      echo "tovlak: $executable imports DLLs that Windows does not have: $foreign" >&2
      exit 1
    fi
    echo "$executable: imports $imports(Windows' own only)"
  else
    needed=$(readelf -d "$executable" 2> /dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
    interpreter=$(readelf -l "$executable" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')
    if [ -n "$needed$interpreter" ]; then
      echo "tovlak: $executable is not static: it needs ${interpreter:+$interpreter }$needed" >&2
      exit 1
    fi
    echo "$executable: static ($(file -b "$executable" | grep -o 'for GNU/Linux [0-9.]*' || echo 'no kernel note'))"
  fi
done
