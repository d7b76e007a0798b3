# Cross build for IBM Z (s390x), a big-endian processor, with clang and the
# GNU linker for s390x, run under qemu: it runs the portable byte primitives
# with the byte order reversed.
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake \
#         -DTOVLAK_GTEST_SOURCE=/usr/src/googletest
# Needs Debian's clang, binutils-s390x-linux-gnu, libstdc++-12-dev-s390x-cross,
# libc6-dev-s390x-cross and qemu-user (not Debian's s390x gcc, which cannot be
# installed beside g++-multilib). The binaries are static, so qemu needs no
# s390x libraries. lld 14 cannot link for s390x, hence the GNU linker.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(triple s390x-linux-gnu)
set(linker bfd)
set(qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/cross_linux.cmake)
