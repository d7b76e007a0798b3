#!/usr/bin/env bash
# Installs the Debian packages that tovlak needs and this machine lacks:
#   tools/install_packages.sh build    a compiler, CMake, make and the codecs
#   tools/install_packages.sh test     all that every test and check needs
#   tools/install_packages.sh wine32   Wine for 32-bit Windows programs (adds
#                                      the i386 architecture to dpkg)
# Installs only when run as root with apt-get; otherwise it names the missing
# packages in one line and fails. Does nothing when all are there.
set -euo pipefail
# The codecs' libraries, and the tools the tests hold them to.
codecs=(libisal-dev libzstd-dev liblzma-dev libbz2-dev liblz4-dev zstd gzip xz-utils bzip2 lz4)
build=(g++ cmake make "${codecs[@]}")
# The Arm build's codecs come from Debian's multi-arch packages for arm64.
test=("${build[@]}" zlib1g-dev libgtest-dev clang libclang-rt-14-dev clang-format clang-tidy lld g++-multilib
  qemu-user libstdc++-12-dev-arm64-cross libc6-dev-arm64-cross zlib1g-dev:arm64 libzstd-dev:arm64 liblzma-dev:arm64 libbz2-dev:arm64 liblz4-dev:arm64
  binutils-s390x-linux-gnu libstdc++-12-dev-s390x-cross libc6-dev-s390x-cross dpkg-dev file python3 nasm
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64)
case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  wine32) wanted=(wine32:i386) ;;
  *) echo "usage: tools/install_packages.sh build|test|wine32" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "tovlak: install these packages first: ${missing[*]}" >&2
  exit 1
fi
echo "installing ${missing[*]}"
for architecture in arm64 i386; do
  if [[ " ${missing[*]}" == *:$architecture* ]] && ! dpkg --print-foreign-architectures | grep -qx $architecture; then
    dpkg --add-architecture $architecture
  fi
done
# A list that fails to download (a mirror in the middle of a sync) leaves
# the one apt has; the install below fails if that lacks what is needed.
apt-get update -q || echo "tovlak: some package lists could not be updated; going on with those there are" >&2
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
