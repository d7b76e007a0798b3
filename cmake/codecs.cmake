# The codecs' libraries, from the system's packages. Each codec is in the
# build where its library is found and left out where it is not (Debian's
# MinGW-w64 packages have zlib alone; tools/windows_codecs.sh builds the
# others from Debian's sources), and one line says which the build has; a codec's switch set to ON requires its library, OFF leaves it out.
#
# A cross build takes the target's codec libraries from Debian's multi-arch
# packages (zlib1g-dev:arm64, libzstd-dev:arm64, …): static archives in
# TOVLAK_MULTIARCH_LIBRARY_DIR, headers in /usr/include, searched after the
# target's own headers so that they never stand in for them; the archives,
# as the cross builds link static binaries. MinGW links static too, so that
# tovlak.exe needs no DLL beside it.

# A static Linux build links archives only. Those that Debian does not ship
# for the target (libisal.a; every codec for 32-bit x86) are built from
# Debian's sources by tools/codec_libraries.sh into
# TOVLAK_STATIC_LIBRARY_PREFIX (lib/, include/), searched before the system.
if(TOVLAK_STATIC AND NOT WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|i.86|x86_64|AMD64)$")
    set(staticTriple i686-linux-gnu)
  else()
    set(staticTriple ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
  endif()
  set(TOVLAK_STATIC_LIBRARY_PREFIX /opt/tovlak/${staticTriple} CACHE PATH
      "Where tools/codec_libraries.sh put the static libraries Debian does not ship for this target")
endif()

# Finds a library by its header and its name: sets FOUND_VAR to the library
# where both are found, else to empty. PREFIX names the cache entries
# (PREFIX_INCLUDE_DIR, PREFIX_LIBRARY).
function(tovlak_find_library foundVar prefix header name)
  set(libraryPaths)
  set(headerPaths)
  set(names ${name})
  if(TOVLAK_MULTIARCH_LIBRARY_DIR)
    set(libraryPaths PATHS ${TOVLAK_MULTIARCH_LIBRARY_DIR} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(headerPaths PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(TOVLAK_MULTIARCH_LIBRARY_DIR OR MINGW OR TOVLAK_STATIC)
    set(names lib${name}.a)
  endif()
  set(headerHints)
  set(libraryHints)
  if(TOVLAK_STATIC_LIBRARY_PREFIX)
    set(headerHints HINTS ${TOVLAK_STATIC_LIBRARY_PREFIX}/include)
    set(libraryHints HINTS ${TOVLAK_STATIC_LIBRARY_PREFIX}/lib)
  endif()
  find_path(${prefix}_INCLUDE_DIR ${header} ${headerHints} ${headerPaths})
  find_library(${prefix}_LIBRARY NAMES ${names} ${libraryHints} ${libraryPaths})
  if(${prefix}_INCLUDE_DIR AND ${prefix}_LIBRARY)
    set(${foundVar} ${${prefix}_LIBRARY} PARENT_SCOPE)
  else()
    set(${foundVar} "" PARENT_SCOPE)
  endif()
endfunction()

# The codecs after gzip, one row each: its switch, its header, its library,
# its source, its suffix, the package that has it, what configuring says,
# and what its header needs defined to declare a static library on Windows
# (- for nothing).
set(tovlakCodecTable
  "ZSTD|zstd.h|zstd|zstd_codec|.zst|libzstd-dev|zstd through libzstd|-"
  "XZ|lzma.h|lzma|xz_codec|.xz|liblzma-dev|xz through liblzma|LZMA_API_STATIC"
  "BZIP2|bzlib.h|bz2|bzip2_codec|.bz2|libbz2-dev|bzip2 through libbz2|BZ_EXPORT"
  "LZ4|lz4frame.h|lz4|lz4_codec|.lz4|liblz4-dev|lz4 through liblz4|-")

# Adds the codecs found to TARGET, with TOVLAK_<CODEC> defined 0 or 1 for
# each; sets tovlakCodecSuffixes, and zlibLibrary to zlib where found (the
# decoder fuzzer's reference for gzip).
function(tovlak_add_codecs target)
  set(codecDefault AUTO)
  if(NOT TOVLAK_COMPRESSION STREQUAL "AUTO")
    set(codecDefault OFF)
    if(TOVLAK_COMPRESSION)
      set(codecDefault ON)
    endif()
  endif()
  set(found)
  set(suffixes)
  set(definitions)
  # gzip: through ISA-L where it is installed and wanted, else through zlib.
  set(TOVLAK_GZIP ${codecDefault} CACHE STRING "gzip logs: ON (its library required), OFF, or AUTO (where found)")
  set(gzipLibrary)
  set(zlib)
  if(TOVLAK_GZIP)
    if(TOVLAK_ISAL)
      tovlak_find_library(isal ISAL isa-l/igzip_lib.h isal)
      if(isal)
        set(gzipLibrary ISA-L)
        target_sources(${target} PRIVATE src/codecs/isal_gzip.cpp)
        target_link_libraries(${target} PUBLIC ${isal})
      endif()
    endif()
    tovlak_find_library(zlib ZLIB zlib.h z)
    if(NOT gzipLibrary AND zlib)
      set(gzipLibrary zlib)
      target_sources(${target} PRIVATE src/codecs/zlib_gzip.cpp)
      target_link_libraries(${target} PUBLIC ${zlib})
    endif()
    if(gzipLibrary)
      target_sources(${target} PRIVATE src/codecs/gzip_framing.cpp)
      list(APPEND found "gzip through ${gzipLibrary}")
      list(APPEND suffixes .gz)
    elseif(NOT TOVLAK_GZIP STREQUAL "AUTO")
      message(FATAL_ERROR "tovlak: TOVLAK_GZIP is ON, but neither ISA-L nor zlib is found (libisal-dev, zlib1g-dev)")
    endif()
  endif()
  list(APPEND definitions TOVLAK_GZIP=$<BOOL:${gzipLibrary}> TOVLAK_GZIP_ISAL=$<STREQUAL:${gzipLibrary},ISA-L>)
  foreach(row ${tovlakCodecTable})
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 codec)
    list(GET fields 1 header)
    list(GET fields 2 library)
    list(GET fields 3 source)
    list(GET fields 4 suffix)
    list(GET fields 5 package)
    list(GET fields 6 description)
    list(GET fields 7 windowsStatic)
    string(TOLOWER ${codec} lower)
    set(TOVLAK_${codec} ${codecDefault} CACHE STRING "${lower} logs: ON (${package} required), OFF, or AUTO (where found)")
    set(have OFF)
    if(TOVLAK_${codec})
      tovlak_find_library(path ${codec} ${header} ${library})
      if(path)
        target_sources(${target} PRIVATE src/codecs/${source}.cpp)
        target_link_libraries(${target} PUBLIC ${path})
        if(WIN32 AND NOT windowsStatic STREQUAL "-")
          list(APPEND definitions ${windowsStatic})
        endif()
        set(have ON)
        list(APPEND found "${description}")
        list(APPEND suffixes ${suffix})
      elseif(NOT TOVLAK_${codec} STREQUAL "AUTO")
        message(FATAL_ERROR "tovlak: TOVLAK_${codec} is ON, but its library is not found (${package})")
      endif()
    endif()
    list(APPEND definitions TOVLAK_${codec}=$<BOOL:${have}>)
  endforeach()
  target_compile_definitions(${target} PUBLIC ${definitions})
  if(TOVLAK_STATIC_LIBRARY_PREFIX AND EXISTS ${TOVLAK_STATIC_LIBRARY_PREFIX}/include)
    target_include_directories(${target} SYSTEM PUBLIC ${TOVLAK_STATIC_LIBRARY_PREFIX}/include)
  endif()
  if(TOVLAK_MULTIARCH_LIBRARY_DIR AND found)
    target_compile_options(${target} PUBLIC -idirafter /usr/include)
  endif()
  if(found)
    list(JOIN found ", " line)
    message(STATUS "tovlak: compressed logs: ${line}")
  else()
    message(STATUS "tovlak: compressed logs: none (plain logs only)")
  endif()
  set(tovlakCodecSuffixes ${suffixes} PARENT_SCOPE)
  set(tovlakCodecs ${found} PARENT_SCOPE)
  set(zlibLibrary ${zlib} PARENT_SCOPE)
endfunction()
