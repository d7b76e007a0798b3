#!/usr/bin/env bash
# Builds every download of tovlak from this checkout into dist/, on an
# x86-64 Debian machine, and tries each one as a user would:
#   tovlak_VERSION_amd64.deb            the Debian package (Debian, Ubuntu)
#   tovlak_VERSION_arm64.deb            the same for 64-bit Arm, its tovlak static
#   tovlak-VERSION-x86_64-linux.tar.gz  a static tovlak for any x86-64 Linux
#   tovlak-VERSION-aarch64-linux.tar.gz               ... any 64-bit Arm Linux
#   tovlak-VERSION-i686-linux.tar.gz                  ... any 32-bit x86 Linux
#   tovlak-VERSION-win64.zip, -win32.zip tovlak.exe for 64-bit and 32-bit Windows
#   SHA256SUMS                          the checksums of all of them
# Each archive holds one folder of its name: tovlak (or tovlak.exe), the man
# page tovlak.1 (Linux), README.md and LICENSE. Every executable is stripped,
# has every codec, and needs nothing beside itself (tools/self_contained.sh);
# each archive is unpacked in a temporary folder and its tovlak run on the
# sample log, plain and in every compressed format, the 64-bit Arm one under
# qemu, the 32-bit x86 one natively or under qemu-i386, the Windows ones
# under Wine (the 32-bit one where Wine's 32-bit half is installed; else it
# is built and checked, not run). The outputs must be those of the Linux
# build. VERSION is the project's version in CMakeLists.txt.
#   tools/release.sh
# Installs what is missing first, as tools/test_all.sh does. Builds in
# build-release/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ "$(uname -m)" != x86_64 ]; then
  echo "tovlak: tools/release.sh builds on x86-64 Linux, not on $(uname -m)" >&2
  exit 1
fi
tools/install_packages.sh test
tools/codec_libraries.sh
version=$(sed -n 's/^project(tovlak VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
work=$root/build-release
dist=$root/dist
rm -rf "$dist" && mkdir -p "$dist" "$work"

# One build of tovlak alone, every codec required: DIR CMAKE_ARGUMENT...
# Prints what configuring says of the codecs.
build() {
  local dir=$work/$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTOVLAK_WERROR=ON -DTOVLAK_COMPRESSION=ON \
    -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s "$@" | sed -n "s|^-- tovlak: |$(basename "$dir"): |p"
  cmake --build "$dir" -j2 --target tovlak > /dev/null
}
i386=(-DCMAKE_CXX_FLAGS=-m32)
tools/runs_i386.sh || i386+=(-DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake)
build amd64
build x86_64-linux -DTOVLAK_STATIC=ON
build aarch64-linux -DTOVLAK_STATIC=ON -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
build i686-linux -DTOVLAK_STATIC=ON "${i386[@]}"
build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
# gzip through ISA-L in the x86-64 static tovlak, as in the Debian package.
grep -q '^ISAL_LIBRARY:FILEPATH=.*/libisal\.a$' "$work/x86_64-linux/CMakeCache.txt" || {
  echo "tovlak: the static x86-64 tovlak has no ISA-L (run tools/codec_libraries.sh)" >&2
  exit 1
}
tools/self_contained.sh "$work"/{x86_64,aarch64,i686}-linux/tovlak "$work"/win{64,32}/tovlak.exe

# The packages: Debian's for amd64 and arm64, the Windows ZIPs, and the
# static Linux tar archives, made the same way every time (owner, order, time).
for dir in amd64 aarch64-linux; do (cd "$work/$dir" && rm -f ./*.deb && cpack -G DEB > /dev/null && mv ./*.deb "$dist/"); done
for dir in win64 win32; do (cd "$work/$dir" && rm -f ./*.zip && cpack -G ZIP > /dev/null && mv ./*.zip "$dist/"); done
stamp=$(git log -1 --format=%ct 2> /dev/null || echo 0)
for target in x86_64 aarch64 i686; do
  name=tovlak-$version-$target-linux
  rm -rf "${work:?}/$name" && mkdir "$work/$name"
  install -m 755 "$work/$target-linux/tovlak" "$work/$name/"
  install -m 644 doc/tovlak.1 README.md LICENSE "$work/$name/"
  tar -C "$work" --owner=0 --group=0 --numeric-owner --sort=name --mtime="@$stamp" -cf - "$name" |
    gzip -n -9 > "$dist/$name.tar.gz"
done
(cd "$dist" && sha256sum -- *.deb *.tar.gz *.zip > SHA256SUMS)

# Tried as a user would: each download checked against SHA256SUMS, unpacked
# in a folder of its own and run on the sample, plain and compressed.
(cd "$dist" && sha256sum --quiet -c SHA256SUMS)
trial=$(mktemp -d)
trap 'rm -rf "$trial"' EXIT
mkdir "$trial/reference"
cp examples/run.log "$trial/reference/run.log"
(cd "$trial/reference" && "$work/amd64/tovlak" -d3 -lrun.log)
formats=("gz gzip" "zst zstd" "xz xz" "bz2 bzip2" "lz4 lz4")
# Runs the tovlak of an unpacked download (PROGRAM, run through EMULATOR...)
# on the sample and on the sample in every format, and compares the outputs
# with the reference's.
try() {  # NAME PROGRAM EMULATOR...
  local name=$1 program=$2 pair suffix tool index
  shift 2
  local dir=$trial/$name-run
  mkdir "$dir"
  cp examples/run.log "$dir/run.log"
  (cd "$dir" && "$@" "$program" -d3 -lrun.log)
  for index in 0 1 2; do cmp "$dir/run$index.log" "$trial/reference/run$index.log"; done
  for pair in "${formats[@]}"; do
    read -r suffix tool <<< "$pair"
    $tool -q -c "$trial/reference/run.log" > "$dir/run.log.$suffix"
    (cd "$dir" && "$@" "$program" -d3 "-lrun.log.$suffix")
    for index in 0 1 2; do $tool -q -dc "$dir/run$index.log.$suffix" | cmp - "$trial/reference/run$index.log"; done
  done
  echo "$name: unpacked and run on the sample, plain and $(printf '%s ' "${formats[@]%% *}")alike"
}
unpack() {  # ARCHIVE -> the folder it holds
  local into
  into=$trial/$(basename "$1")
  mkdir "$into"
  case $1 in
    *.deb) dpkg-deb -x "$1" "$into" && echo "$into/usr/bin" ;;
    *) (cd "$into" && cmake -E tar xf "$1") && ls -d "$into"/*/ ;;
  esac
}
i386Emulator=()
tools/runs_i386.sh || i386Emulator=(qemu-i386)
wineCommand() {  # WINE_PROGRAM PREFIX_DIR: the emulator for a Windows download
  echo env WINEDEBUG=-all "WINEPREFIX=$2" LC_ALL=C.UTF-8 "$1"
}
folder=$(unpack "$dist/tovlak_${version}_amd64.deb")
try amd64.deb "$folder/tovlak" env
folder=$(unpack "$dist/tovlak_${version}_arm64.deb")
try arm64.deb "$folder/tovlak" qemu-aarch64
for target in x86_64 aarch64 i686; do
  folder=$(unpack "$dist/tovlak-$version-$target-linux.tar.gz")
  echo "$(basename "$folder"): $(cd "$folder" && echo *)"
  case $target in
    x86_64) try "$target-linux" "$folder/tovlak" env ;;
    aarch64) try "$target-linux" "$folder/tovlak" qemu-aarch64 ;;
    i686) try "$target-linux" "$folder/tovlak" env "${i386Emulator[@]}" ;;
  esac
done
for bits in 64 32; do
  folder=$(unpack "$dist/tovlak-$version-win$bits.zip")
  echo "$(basename "$folder"): $(cd "$folder" && echo *)"
  program=/usr/lib/wine/wine
  if [ "$bits" = 64 ]; then program+=64; fi
  if [ -x "$program" ]; then
    # shellcheck disable=SC2046
    try "win$bits" "$folder/tovlak.exe" $(wineCommand "$program" "$work/win$bits/wine")
  else
    echo "win$bits: built and checked, not run (no $program here)"
  fi
done
echo
ls -l "$dist"
cat "$dist/SHA256SUMS"
