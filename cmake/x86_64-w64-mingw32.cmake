# Cross build for 64-bit Windows with Debian's MinGW-w64, tests run under Wine:
#   cmake -S . -B build-mingw64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
#         -DTOVLAK_GTEST_SOURCE=/usr/src/googletest
# Needs g++-mingw-w64-x86-64-posix and libz-mingw-w64-dev (gzip logs); wine64
# to run the tests. Makes one static tovlak.exe.
set(triple x86_64-w64-mingw32)
set(processor AMD64)
set(wine /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/cross_windows.cmake)
