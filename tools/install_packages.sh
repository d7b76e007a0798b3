#!/usr/bin/env bash
# Installs the Debian packages that tovlak needs and this machine lacks:
#   tools/install_packages.sh build    a compiler, CMake, make and the codecs
#   tools/install_packages.sh test     all that every test and check needs
# Installs only when run as root with apt-get; otherwise it names the missing
# packages in one line and fails. Does nothing when all are there.
set -euo pipefail
# The codecs' libraries, and the tools the tests hold them to.
codecs=(libisal-dev libzstd-dev zstd gzip)
build=(g++ cmake make "${codecs[@]}")
# The Arm build's codecs come from Debian's multi-arch packages for arm64.
test=("${build[@]}" zlib1g-dev libgtest-dev clang libclang-rt-14-dev clang-format clang-tidy lld g++-multilib
  qemu-user libstdc++-12-dev-arm64-cross libc6-dev-arm64-cross zlib1g-dev:arm64 libzstd-dev:arm64
  binutils-s390x-linux-gnu libstdc++-12-dev-s390x-cross libc6-dev-s390x-cross dpkg-dev file)
case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  *) echo "usage: tools/install_packages.sh build|test" >&2; exit 2 ;;
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
if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
fi
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
