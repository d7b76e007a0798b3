#!/usr/bin/env bash
# Builds the codec libraries that Debian packages for Linux but not for
# MinGW-w64 (libzstd, liblzma, libbz2, liblz4) from Debian's own source
# packages, once, with the MinGW-w64 cross compilers, for x86-64 and i686,
# and installs their static libraries and headers into each toolchain's find
# root (/usr/x86_64-w64-mingw32, /usr/i686-w64-mingw32), where the Windows
# builds find them (gzip comes from Debian's libz-mingw-w64-dev).
#   tools/windows_codecs.sh
# Needs root, apt-get, dpkg-dev and the MinGW-w64 compilers (tools/
# install_packages.sh test installs them). It adds a deb-src entry for each
# Debian deb entry the machine has (same mirror, same suites), fetches the
# sources with apt-get source and builds in build-windows-codecs/. A stamp in
# each find root records the source versions built: a later run with the
# same versions does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
sources=(libzstd xz-utils bzip2 lz4)
triples=(x86_64-w64-mingw32 i686-w64-mingw32)

# The versions that apt would fetch, as the installed Linux libraries come
# from the same sources: what the stamp records.
versions=$(dpkg-query -W -f='${source:Package} ${source:Version}\n' libzstd-dev liblzma-dev libbz2-dev liblz4-dev | sort -u)
done=1
for triple in "${triples[@]}"; do
  [ "$(cat "/usr/$triple/lib/tovlak-codecs.stamp" 2> /dev/null)" = "$versions" ] || done=0
done
if [ "$done" = 1 ]; then
  echo "Windows codecs: built before ($(echo "$versions" | tr '\n' ' '))"
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "tovlak: building the Windows codecs installs into /usr/TRIPLE: run tools/windows_codecs.sh as root" >&2
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

work=$root/build-windows-codecs
rm -rf "$work" && mkdir -p "$work/fetched"
# The newest source of each, or, where the mirror does not give it (a
# security update's sources may be missing there), the release's own.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
for source in "${sources[@]}"; do
  (cd "$work/fetched" && { apt-get source -q --download-only "$source" > /dev/null 2>&1 ||
    apt-get source -q --download-only "$source/$codename" > /dev/null; })
done
for triple in "${triples[@]}"; do
  dir=$work/$triple
  mkdir -p "$dir"
  for dsc in "$work"/fetched/*.dsc; do (cd "$dir" && dpkg-source -q -x "$dsc" > /dev/null 2>&1); done
  prefix=/usr/$triple
  cc=$triple-gcc-posix
  echo "Windows codecs for $triple: building"
  (cd "$dir"/libzstd-*/lib && make -s -j2 libzstd.a CC="$cc" AR="$triple-ar" ZSTD_LEGACY_SUPPORT=0 > /dev/null &&
    install -m 644 libzstd.a "$prefix/lib/" && install -m 644 zstd.h zstd_errors.h zdict.h "$prefix/include/")
  (cd "$dir"/lz4-*/lib && make -s -j2 liblz4.a CC="$cc" AR="$triple-ar" > /dev/null &&
    install -m 644 liblz4.a "$prefix/lib/" && install -m 644 lz4.h lz4hc.h lz4frame.h "$prefix/include/")
  # bzlib.h declares functions for a static library where BZ_EXPORT is defined.
  (cd "$dir"/bzip2-* && make -s -j2 libbz2.a CC="$cc" AR="$triple-ar" RANLIB="$triple-ranlib" \
    CFLAGS="-O2 -D_FILE_OFFSET_BITS=64 -DBZ_EXPORT" > /dev/null &&
    install -m 644 libbz2.a "$prefix/lib/" && install -m 644 bzlib.h "$prefix/include/")
  (cd "$dir"/xz-utils-* && ./configure -q --host="$triple" CC="$cc" --prefix="$prefix" --disable-shared \
    --enable-static --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-scripts \
    --disable-doc --disable-nls --disable-lzma-links > /dev/null &&
    make -s -j2 -C src/liblzma > /dev/null && install -m 644 src/liblzma/.libs/liblzma.a "$prefix/lib/" &&
    mkdir -p "$prefix/include/lzma" && install -m 644 src/liblzma/api/lzma.h "$prefix/include/" &&
    install -m 644 src/liblzma/api/lzma/*.h "$prefix/include/lzma/")
  echo "$versions" > "$prefix/lib/tovlak-codecs.stamp"
done
rm -rf "$work"
echo "Windows codecs: built ($(echo "$versions" | tr '\n' ' '))"
