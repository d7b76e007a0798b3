# 32-bit x86 Linux with g++ -m32, run under qemu-i386: for machines that
# cannot execute 32-bit x86 programs themselves (tools/test_all.sh chooses).
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake \
#         -DTOVLAK_GTEST_SOURCE=/usr/src/googletest
# Add -DCMAKE_CXX_FLAGS=-msse2 for the SSE2 build. Needs g++-multilib and
# qemu-user; qemu-i386 loads the 32-bit libraries that multilib installs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_CXX_FLAGS_INIT -m32)
find_program(emulator NAMES qemu-i386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})
