# Shared by both MinGW-w64 toolchain files: posix thread model (std::thread
# and std::mutex need it; the win32 model lacks them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${ZK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
