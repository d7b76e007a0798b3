# What the cross toolchain files share: clang for `triple`, static binaries,
# the target's libraries from /usr/<triple>, and the tests run under
# `qemu`. Set triple, linker and qemu before including it.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=${linker} -static")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(emulator NAMES ${qemu} ${qemu}-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})

# The codecs' static archives, from Debian's multi-arch packages for the
# target (the binaries are static).
set(TOVLAK_MULTIARCH_LIBRARY_DIR /usr/lib/${triple} CACHE PATH "")
