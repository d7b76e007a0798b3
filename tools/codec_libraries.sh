#!/usr/bin/env bash
# Builds, once, the static libraries that Debian packages for Linux but not
# for the targets of tovlak's self-contained executables, from Debian's own
# source packages:
#   - for Windows (x86_64-w64-mingw32, i686-w64-mingw32), with the MinGW-w64
#     cross compilers: libzstd, liblzma, libbz2 and liblz4, into each
#     toolchain's find root (/usr/TRIPLE; gzip comes from Debian's
#     libz-mingw-w64-dev);
#   - for the static 32-bit x86 Linux tovlak, with gcc -m32: those four and
#     zlib, into /opt/tovlak/i686-linux-gnu;
#   - for the static x86-64 Linux tovlak (on an x86-64 machine): ISA-L,
#     whose package has no static library, into /opt/tovlak/x86_64-linux-gnu.
# (The static 64-bit Arm tovlak takes Debian's arm64 archives as they are.)
#   tools/codec_libraries.sh
# Needs root, apt-get, dpkg-dev, the compilers, and nasm for ISA-L (tools/
# install_packages.sh test installs them). It adds a deb-src entry for each
# Debian deb entry the machine has (same mirror, same suites), fetches the
# sources with apt-get source and builds in build-codec-libraries/. A stamp
# in each prefix records the source versions built: a later run with the
# same versions does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
codecSources=(libzstd xz-utils bzip2 lz4)
# Each prefix: where it is, what is built into it and with which C compiler
# and archiver.
prefixes=(/usr/x86_64-w64-mingw32 /usr/i686-w64-mingw32 /opt/tovlak/i686-linux-gnu)
declare -A builds=([/usr/x86_64-w64-mingw32]="${codecSources[*]}" [/usr/i686-w64-mingw32]="${codecSources[*]}"
  [/opt/tovlak/i686-linux-gnu]="${codecSources[*]} zlib")
declare -A compilers=([/usr/x86_64-w64-mingw32]=x86_64-w64-mingw32-gcc-posix
  [/usr/i686-w64-mingw32]=i686-w64-mingw32-gcc-posix [/opt/tovlak/i686-linux-gnu]="gcc -m32")
declare -A hosts=([/usr/x86_64-w64-mingw32]=x86_64-w64-mingw32 [/usr/i686-w64-mingw32]=i686-w64-mingw32
  [/opt/tovlak/i686-linux-gnu]=i686-linux-gnu)
declare -A archivers=([/usr/x86_64-w64-mingw32]=x86_64-w64-mingw32-ar [/usr/i686-w64-mingw32]=i686-w64-mingw32-ar
  [/opt/tovlak/i686-linux-gnu]="ar")
if [ "$(uname -m)" = x86_64 ]; then
  prefixes+=(/opt/tovlak/x86_64-linux-gnu)
  builds[/opt/tovlak/x86_64-linux-gnu]=libisal
  compilers[/opt/tovlak/x86_64-linux-gnu]=gcc
  hosts[/opt/tovlak/x86_64-linux-gnu]=x86_64-linux-gnu
  archivers[/opt/tovlak/x86_64-linux-gnu]="ar"
fi

# The versions that apt would fetch, as the installed Linux libraries come
# from the same sources: what the stamps record.
versions=$(dpkg-query -W -f='${source:Package} ${source:Version}\n' libzstd-dev liblzma-dev libbz2-dev liblz4-dev \
  zlib1g-dev libisal-dev | sort -u)
stamp() { echo "$1/lib/tovlak-codecs.stamp"; }
wanted=()
for prefix in "${prefixes[@]}"; do
  [ "$(cat "$(stamp "$prefix")" 2> /dev/null)" = "$versions" ] || wanted+=("$prefix")
done
if [ ${#wanted[@]} -eq 0 ]; then
  echo "codec libraries: built before ($(echo "$versions" | tr '\n' ' '))"
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "tovlak: building the codec libraries installs into ${wanted[*]}: run tools/codec_libraries.sh as root" >&2
  exit 1
fi

# deb-src entries beside the machine's deb entries for Debian.
list=/etc/apt/sources.list.d/tovlak-deb-src
if [ ! -f "$list.sources" ] && [ ! -f "$list.list" ]; then
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
      /(^|\n)Types:[^\n]*deb([ \n]|$)/ && /(^|\n)URIs:[^\n]*debian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done > "$list.sources"
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb\s' /etc/apt/sources.list | grep debian | sed 's/^deb\s/deb-src /' > "$list.list" || true
  fi
  apt-get update -q > /dev/null || echo "tovlak: some package lists could not be updated; going on with those there are" >&2
fi

work=$root/build-codec-libraries
rm -rf "$work" && mkdir -p "$work/fetched"
# The newest source of each, or, where the mirror does not give it (a
# security update's sources may be missing there), the release's own.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
for source in "${codecSources[@]}" zlib libisal; do
  (cd "$work/fetched" && { apt-get source -q --download-only "$source" > /dev/null 2>&1 ||
    apt-get source -q --download-only "$source/$codename" > /dev/null; })
done

# Each library: built in DIR (its unpacked sources) for PREFIX.
buildLibrary() {  # LIBRARY DIR PREFIX
  local library=$1 dir=$2 prefix=$3
  local cc=${compilers[$prefix]} ar=${archivers[$prefix]} host=${hosts[$prefix]}
  local cflags="-O2 -D_FILE_OFFSET_BITS=64"
  mkdir -p "$prefix/lib" "$prefix/include"
  case $library in
    libzstd)
      (cd "$dir"/libzstd-*/lib && make -s -j2 libzstd.a CC="$cc" AR="$ar" ZSTD_LEGACY_SUPPORT=0 > /dev/null &&
        install -m 644 libzstd.a "$prefix/lib/" && install -m 644 zstd.h zstd_errors.h zdict.h "$prefix/include/") ;;
    lz4)
      (cd "$dir"/lz4-*/lib && make -s -j2 liblz4.a CC="$cc" AR="$ar" > /dev/null &&
        install -m 644 liblz4.a "$prefix/lib/" && install -m 644 lz4.h lz4hc.h lz4frame.h "$prefix/include/") ;;
    bzip2)
      # bzlib.h declares functions for a static library where BZ_EXPORT is defined.
      [[ $host == *mingw* ]] && cflags+=" -DBZ_EXPORT"
      (cd "$dir"/bzip2-* && make -s -j2 libbz2.a CC="$cc" AR="$ar" RANLIB="${ar%ar}ranlib" CFLAGS="$cflags" > /dev/null &&
        install -m 644 libbz2.a "$prefix/lib/" && install -m 644 bzlib.h "$prefix/include/") ;;
    xz-utils)
      (cd "$dir"/xz-utils-* && ./configure -q --host="$host" CC="$cc" --prefix="$prefix" --disable-shared \
        --enable-static --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-scripts \
        --disable-doc --disable-nls --disable-lzma-links > /dev/null &&
        make -s -j2 -C src/liblzma > /dev/null && install -m 644 src/liblzma/.libs/liblzma.a "$prefix/lib/" &&
        mkdir -p "$prefix/include/lzma" && install -m 644 src/liblzma/api/lzma.h "$prefix/include/" &&
        install -m 644 src/liblzma/api/lzma/*.h "$prefix/include/lzma/") ;;
    zlib)
      (cd "$dir"/zlib-* && CC="$cc" CFLAGS="$cflags" ./configure --static > /dev/null && make -s -j2 libz.a > /dev/null &&
        install -m 644 libz.a "$prefix/lib/" && install -m 644 zlib.h zconf.h "$prefix/include/") ;;
    libisal)
      # Its own makefile for Unix, with nasm for the assembly.
      (cd "$dir"/libisal-* && make -s -j2 -f Makefile.unx lib CC="$cc" > /dev/null &&
        install -m 644 bin/isa-l.a "$prefix/lib/libisal.a" && mkdir -p "$prefix/include/isa-l" &&
        install -m 644 include/*.h "$prefix/include/isa-l/") ;;
  esac
}

for prefix in "${wanted[@]}"; do
  dir=$work/$(basename "$prefix")
  mkdir -p "$dir"
  for dsc in "$work"/fetched/*.dsc; do (cd "$dir" && dpkg-source -q -x "$dsc" > /dev/null 2>&1); done
  echo "codec libraries for $prefix: building ${builds[$prefix]}"
  for library in ${builds[$prefix]}; do buildLibrary "$library" "$dir" "$prefix"; done
  echo "$versions" > "$(stamp "$prefix")"
done
rm -rf "$work"
echo "codec libraries: built ($(echo "$versions" | tr '\n' ' '))"
