# Cross build for 64-bit Arm Linux with clang and lld, run under qemu:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DTOVLAK_GTEST_SOURCE=/usr/src/googletest
# Needs Debian's clang, lld, libstdc++-12-dev-arm64-cross, libc6-dev-arm64-cross
# and qemu-user. The binaries are static, so qemu needs no Arm libraries.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(linker lld)
set(qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross_linux.cmake)
