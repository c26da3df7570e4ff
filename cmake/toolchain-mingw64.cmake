# Cross-compiling for 64-bit Windows with MinGW-w64: the same sources as a
# second, fully tested build (and the one that runs where 32-bit Linux
# programs, and so 32-bit Wine, cannot).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZK_MINGW_PREFIX x86_64-w64-mingw32)
set(ZK_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
