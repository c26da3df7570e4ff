# Cross-compiling for 32-bit Windows (the product) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZK_MINGW_PREFIX i686-w64-mingw32)
set(ZK_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
