#!/usr/bin/env bash
# Installs what is missing, builds tovlak every way it is built and runs every
# test and check, stopping at the first failure:
#   1. formatting against .clang-format;
#   2. the test suite on every build path: x86-64 release with SIMD, under
#      AddressSanitizer and UndefinedBehaviorSanitizer, and without SIMD,
#      all three with every codec (gzip, zstd, xz, bzip2, lz4; gzip through
#      ISA-L, and through zlib in the build without SIMD); 64-bit Arm with
#      them (gzip through zlib); Windows with them too (gzip through zlib,
#      the others built from Debian's sources by tools/codec_libraries.sh);
#      the others without them;
#      32-bit x86 at the default (no SSE2) and with -msse2, natively where
#      this machine runs 32-bit x86 programs and under qemu-i386 where it
#      cannot (or where TOVLAK_I386_UNDER_QEMU=1 asks for it); 64-bit Arm
#      (NEON), cross-built with clang and run under qemu; s390x, big-endian,
#      cross-built with clang and run under qemu;
#      Windows, cross-built with MinGW-w64: 64-bit with its unit tests under
#      Wine and the end-to-end tests run on its tovlak.exe, 32-bit the same
#      where Wine's 32-bit half installs (else built only); a plain toolchain
#      file; each tovlak.exe importing system DLLs only;
#   3. every download (tools/release.sh: the Debian packages, the static
#      Linux executables, the Windows ZIPs), built, checked to need nothing
#      beside itself, unpacked and tried; the end-to-end tests on each
#      static Linux tovlak (x86-64, 32-bit x86, 64-bit Arm);
#   4. the same outputs, messages and statuses from every build, the static
#      ones among them, on a set of logs, a log past 2 GiB on 32-bit x86 and
#      one past 4 GiB on Windows; a line of 512 MiB with its peak memory
#      measured, and one of 3 GiB on 32-bit x86;
#   5. with clang: the three fuzz targets (rewrite, split, decode),
#      FUZZ_SECONDS each (default 30), with SIMD and ISA-L and without both,
#      then what they found replayed on the 32-bit, Arm and s390x builds
#      (the decoder's on Arm, the one of them with the codecs); clang-tidy with .clang-tidy over every source.
# Build directories: build, build-asan, build-portable, build-i386,
# build-i386-sse2, build-arm64, build-s390x, build-mingw64, build-mingw32,
# build-mingw-plain, build-release/*, build-clang, build-clang-portable.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzzSeconds="${FUZZ_SECONDS:-30}"
sources=(src/*.h src/*.cpp src/*/*.h src/*/*.cpp testing/*.h testing/*.cpp fuzz/*.cpp bench/*.cpp)
started=$SECONDS

step() { printf '\n=== %s (%d s)\n' "$*" $((SECONDS - started)); }
# What a fuzzer found, each input in base64 with one line that replays it:
# BUILD TARGET.
reproduce() {
  local found
  for found in "$1/$2"-*; do
    [ -f "$found" ] || continue
    printf '\n%s found %s (%d bytes); to replay it from the top of a clone:\n' "$2" "$found" "$(wc -c < "$found")"
    printf 'echo %s | base64 -d > found && cmake --build %s --target %s_replay && %s/%s_replay found\n' \
      "$(base64 -w0 "$found")" "$1" "$2" "$1" "$2"
  done
}
# A build directory configured, built and tested: NAME CMAKE_ARGUMENT...
# (with stepNote set, its heading says it).
buildAndTest() {
  local dir=$1
  shift
  step "$dir: build and tests${stepNote:+ ($stepNote)}"
  cmake -S . -B "$dir" -DTOVLAK_WERROR=ON "$@" > /dev/null
  cmake --build "$dir" -j2
  ctest --test-dir "$dir" --output-on-failure -j2
}

step "packages"
tools/install_packages.sh test
step "codec libraries for Windows and the static executables (built once from Debian's sources)"
tools/codec_libraries.sh

step "formatting"
clang-format --dry-run --Werror "${sources[@]}"

# Whether this machine runs 32-bit x86 programs: where it cannot, the 32-bit
# builds are configured as cross builds that run under qemu-i386.
i386Toolchain=()
i386Way="32-bit x86: native"
if ! tools/runs_i386.sh; then
  i386Toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake)
  i386Way="32-bit x86: under qemu-i386"
fi
step "$i386Way"

gtestSource=-DTOVLAK_GTEST_SOURCE=/usr/src/googletest
buildAndTest build -DCMAKE_BUILD_TYPE=Release
buildAndTest build-asan -DCMAKE_BUILD_TYPE=Debug -DTOVLAK_SANITIZE=ON
buildAndTest build-portable -DCMAKE_BUILD_TYPE=Release -DTOVLAK_SIMD=OFF -DTOVLAK_ISAL=OFF
# ISA-L's Debian package cannot be installed for a second architecture
# beside this one's; the other codecs' libraries can, for arm64, so the Arm build
# has the codecs (gzip through zlib) and the 32-bit and s390x builds go
# without them: the first 32-bit build as configuring finds no 32-bit codec
# library and leaves them out, the others told so.
noCodecs=-DTOVLAK_COMPRESSION=OFF
stepNote=$i386Way buildAndTest build-i386 -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-m32 "$gtestSource" \
  "${i386Toolchain[@]}"
stepNote=$i386Way buildAndTest build-i386-sse2 -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS=-m32 -msse2" "$gtestSource" \
  "$noCodecs" "${i386Toolchain[@]}"
buildAndTest build-arm64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  "$gtestSource"
buildAndTest build-s390x -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake \
  "$gtestSource" "$noCodecs"

# Windows, cross-built with MinGW-w64: the unit tests under Wine (CTest runs
# them through the build's emulator), and the end-to-end tests of the Linux
# build run on tovlak.exe. The 32-bit build runs under Wine where Wine's
# 32-bit half installs (it needs this machine to run 32-bit x86 programs
# and Debian's i386 architecture); elsewhere it is built and linked only.
buildAndTest build-mingw64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
  "$gtestSource"
step "build-mingw64: the end-to-end tests on tovlak.exe under Wine"
TOVLAK_UNDER_TEST="$(pwd)/build-mingw64" ctest --test-dir build -R '^Tovlak' --output-on-failure -j2
windowsBuilds=(build-mingw64)
win32Way="32-bit Windows: built, not run"
if [ "$i386Way" = "32-bit x86: native" ]; then
  if ! dpkg-query -W -f='${Status}' wine32:i386 2> /dev/null | grep -q 'ok installed'; then
    step "32-bit Windows: installing Wine's 32-bit half"
    # Where it will not install, the machine is left with no i386 architecture.
    tools/install_packages.sh wine32 || { dpkg --remove-architecture i386 2> /dev/null || true; }
  fi
  if [ -x /usr/lib/wine/wine ]; then
    win32Way="32-bit Windows: run under Wine"
    windowsBuilds+=(build-mingw32)
  fi
fi
step "$win32Way"
if [ "$win32Way" = "32-bit Windows: run under Wine" ]; then
  stepNote=$win32Way buildAndTest build-mingw32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake "$gtestSource"
  step "build-mingw32: the end-to-end tests on tovlak.exe under Wine"
  TOVLAK_UNDER_TEST="$(pwd)/build-mingw32" ctest --test-dir build -R '^Tovlak' --output-on-failure -j2
else
  step "build-mingw32: build ($win32Way)"
  cmake -S . -B build-mingw32 -DTOVLAK_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake "$gtestSource" > /dev/null
  cmake --build build-mingw32 -j2
fi
# What a user writes: a toolchain file of five lines, no other setting.
step "a plain MinGW-w64 toolchain file"
mkdir -p build-mingw-plain
printf '%s\n' 'set(CMAKE_SYSTEM_NAME Windows)' 'set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)' \
  'set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)' \
  'set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)' 'set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)' \
  > build-mingw-plain/toolchain.cmake
cmake -S . -B build-mingw-plain -DCMAKE_TOOLCHAIN_FILE=build-mingw-plain/toolchain.cmake | grep 'tovlak:'
cmake --build build-mingw-plain -j2 --target tovlak
# One tovlak.exe: it imports the system's DLLs and nothing else.
tools/self_contained.sh build-mingw64/tovlak.exe build-mingw32/tovlak.exe build-mingw-plain/tovlak.exe

# Every download, built from this checkout and tried unpacked; then the
# end-to-end tests on each static Linux tovlak it ships.
step "the downloads: tools/release.sh"
tools/release.sh
staticBuilds=(build-release/x86_64-linux build-release/i686-linux build-release/aarch64-linux)
for dir in "${staticBuilds[@]}"; do
  step "$dir: the end-to-end tests on the static tovlak"
  TOVLAK_UNDER_TEST="$(pwd)/$dir" ctest --test-dir build -R '^Tovlak' --output-on-failure -j2
done

step "the same outputs from every build"
cmake --build build --target generate_log > /dev/null
tools/compare_builds.sh build build-portable build-i386 build-i386-sse2 build-arm64 build-s390x "${windowsBuilds[@]}" \
  "${staticBuilds[@]}"

step "a log past 2 GiB on 32-bit x86 ($i386Way)"
tools/large_log_check.sh build-i386 build
step "a line longer than memory: a 512 MiB hole, peak memory measured"
tools/long_line_check.sh build build
step "a 3 GiB line on 32-bit x86 (the static i686 tovlak, $i386Way)"
tools/long_line_check.sh build-release/i686-linux build 3072 2
step "a log past 4 GiB on Windows (${windowsBuilds[*]})"
for dir in "${windowsBuilds[@]}"; do PAST_GIB=4 tools/large_log_check.sh "$dir" build; done

# The portable variant also reads and writes gzip through zlib, not ISA-L.
for variant in clang clang-portable; do
  simd=$([ "$variant" = clang ] && echo ON || echo OFF)
  step "build-$variant: fuzz targets"
  CC=clang CXX=clang++ cmake -S . -B "build-$variant" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVLAK_SANITIZE=ON \
    -DTOVLAK_FUZZ=ON -DTOVLAK_WERROR=ON -DTOVLAK_SIMD="$simd" -DTOVLAK_ISAL="$simd" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null
  cmake --build "build-$variant" -j2 --target rewrite_fuzzer split_fuzzer decode_fuzzer rewrite_replay \
    split_replay decode_replay
  for target in rewrite split decode; do
    step "build-$variant: fuzzing $target for $fuzzSeconds s"
    # New inputs go to a corpus shared by the two variants; the seeds stay as they are.
    corpus="build-clang/corpus/$target"
    mkdir -p "$corpus"
    "build-$variant/${target}_replay" fuzz/corpus/"$target"/*
    if ! "build-$variant/${target}_fuzzer" -max_total_time="$fuzzSeconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="build-$variant/$target-" "$corpus" "fuzz/corpus/$target"; then
      reproduce "build-$variant" "$target"
      exit 1
    fi
  done
done

step "what the fuzzers found, replayed on 32-bit x86 ($i386Way), Arm and s390x"
for target in rewrite split; do
  for dir in build-i386 build-i386-sse2 build-arm64 build-s390x; do
    find "build-clang/corpus/$target" -type f -print0 |
      xargs -0 -r -n 500 tools/run_build.sh "$dir" -p "${target}_replay"
  done
  echo "$target: $(find "build-clang/corpus/$target" -type f | wc -l) inputs replayed on each"
done
# The decoder on the one of them with the codecs.
find build-clang/corpus/decode -type f -print0 | xargs -0 -r -n 500 tools/run_build.sh build-arm64 -p decode_replay
echo "decode: $(find build-clang/corpus/decode -type f | wc -l) inputs replayed on Arm"

step "clang-tidy"
run-clang-tidy -quiet -p build-clang -j2 "$(pwd)/(src|testing|fuzz|bench)/"
# The gzip codec through zlib, which only the portable build compiles.
run-clang-tidy -quiet -p build-clang-portable -j2 "$(pwd)/src/codecs/zlib_gzip.cpp"
# The Windows sources, which no Linux build compiles, for the MinGW-w64
# target with its compiler's header directories (but for g++'s own
# intrinsics, which clang has its own of).
windowsHeaders=()
while read -r dir; do windowsHeaders+=(-isystem "$dir"); done < <(echo | x86_64-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list/p' | sed -n 's/^ //p' |
  grep -vE '^/usr/lib/gcc/[^/]+/[^/]+/include(-fixed)?$')
clang-tidy -quiet src/platform/windows.cpp testing/*_windows.cpp -- --target=x86_64-w64-mingw32 -std=c++20 \
  -Isrc -Itesting "${windowsHeaders[@]}"

step "every test and check passed"
