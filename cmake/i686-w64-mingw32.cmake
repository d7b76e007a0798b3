# Cross build for 32-bit Windows with Debian's MinGW-w64, tests run under Wine:
#   cmake -S . -B build-mingw32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
#         -DTOVLAK_GTEST_SOURCE=/usr/src/googletest
# Needs g++-mingw-w64-i686-posix and libz-mingw-w64-dev (gzip logs); wine32
# (the i386 architecture, on a machine that runs 32-bit x86 programs) to run
# the tests. Makes one static tovlak.exe.
set(triple i686-w64-mingw32)
set(processor x86)
set(wine /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/cross_windows.cmake)
