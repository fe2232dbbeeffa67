# Cross build for Windows with mingw-w64: 32-bit (i686) by default.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
#
# cmake/toolchain-mingw64.cmake reuses this file for the x86_64 variant that the Wine test leg
# falls back to on hosts that cannot run 32-bit programs. The tests run under Wine (CTest runs
# every test program through CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT HALYARD_MINGW_ARCH)
  set(HALYARD_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${HALYARD_MINGW_ARCH})
set(HALYARD_MINGW_TRIPLET ${HALYARD_MINGW_ARCH}-w64-mingw32)

# The posix thread model: the win32 one of Debian's GCC 12 has no std::mutex, which
# GoogleTest needs. Its thread library is linked statically like the runtimes (below).
set(CMAKE_C_COMPILER ${HALYARD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALYARD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${HALYARD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HALYARD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The 32-bit loader is /usr/lib/wine/wine (package wine32), the 64-bit one wine64; the wine
# wrapper script picks the 32-bit loader whenever it is installed, so name the loader directly.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  if(HALYARD_MINGW_ARCH STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
  endif()
endif()

# The kit's programs need nothing beyond Windows' own DLLs: link the C and C++ runtimes (and
# the thread library they pull in) statically, and take liblzma as a static library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_C_FLAGS_INIT "-DLZMA_API_STATIC")
set(CMAKE_CXX_FLAGS_INIT "-DLZMA_API_STATIC")
