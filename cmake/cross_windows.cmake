# What the Windows toolchain files share: Debian's MinGW-w64 for `triple`,
# with POSIX threads (std::thread needs them), the target's libraries from
# /usr/<triple>, and the tests run under `wine` where it is installed. Set
# triple, processor and wine before including it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${processor})

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Quiet, its prefix (the Windows installation it makes on first use) in the
# build directory rather than the home directory, and UTF-8 names on the
# command line passed on as such.
if(EXISTS ${wine})
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine LC_ALL=C.UTF-8
                                    ${wine})
endif()
