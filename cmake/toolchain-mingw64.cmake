# Cross build for 64-bit Windows (x86_64) with mingw-w64. The kit is 32-bit; this variant runs
# the test suite under wine64 on hosts whose kernel cannot run 32-bit programs.
set(HALYARD_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)
