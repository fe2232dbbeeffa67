# Cross build for 32-bit Windows (i686) with mingw-w64.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
#
# The tests run under 32-bit Wine (CTest runs every test program through
# CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALYARD_MINGW_TRIPLET i686-w64-mingw32)

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

# The wine wrapper script starts the 32-bit loader (package wine32) for 32-bit programs.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()

# The kit's programs need nothing beyond Windows' own DLLs: link the C and C++ runtimes (and
# the thread library they pull in) statically, and take liblzma as a static library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_C_FLAGS_INIT "-DLZMA_API_STATIC")
set(CMAKE_CXX_FLAGS_INIT "-DLZMA_API_STATIC")
