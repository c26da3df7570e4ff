# Third-party code: LZ4 is compiled from Debian's source package unpacked by
# scripts/setup; zlib is the system's (libz-mingw-w64-dev for Windows,
# zlib1g-dev natively); GoogleTest is compiled from Debian's googletest
# sources for Windows and taken from libgtest-dev natively.

file(GLOB _zk_lz4_dirs LIST_DIRECTORIES true "${ZK_DEPS}/lz4-*/lib")
list(SORT _zk_lz4_dirs)
list(POP_BACK _zk_lz4_dirs ZK_LZ4_LIB_DIR)
if(NOT ZK_LZ4_LIB_DIR OR NOT EXISTS "${ZK_LZ4_LIB_DIR}/lz4.c")
  message(FATAL_ERROR "LZ4 sources not found under ${ZK_DEPS}; run scripts/setup")
endif()
# Compiled through a unit of ours, so that every build compresses to the
# same bytes (cmake/lz4_unit.c says why).
add_library(zk_lz4 STATIC ${CMAKE_CURRENT_LIST_DIR}/lz4_unit.c ${ZK_LZ4_LIB_DIR}/lz4hc.c)
target_include_directories(zk_lz4 SYSTEM PUBLIC ${ZK_LZ4_LIB_DIR})
# The streaming calls the pipeline uses are marked deprecated in the headers;
# they are still the documented way to chain blocks with a dictionary.
target_compile_definitions(zk_lz4 PUBLIC LZ4_DISABLE_DEPRECATE_WARNINGS)
set_target_properties(zk_lz4 PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)

if(ZK_NATIVE)
  find_package(ZLIB REQUIRED)
  add_library(zk_zlib INTERFACE)
  target_link_libraries(zk_zlib INTERFACE ZLIB::ZLIB)
  find_package(GTest REQUIRED)
  add_library(zk_gtest_main INTERFACE)
  target_link_libraries(zk_gtest_main INTERFACE GTest::gtest_main GTest::gtest)
else()
  find_library(ZK_ZLIB_STATIC NAMES libz.a REQUIRED)
  find_path(ZK_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(zk_zlib INTERFACE)
  target_link_libraries(zk_zlib INTERFACE ${ZK_ZLIB_STATIC})
  target_include_directories(zk_zlib SYSTEM INTERFACE ${ZK_ZLIB_INCLUDE})

  set(ZK_GTEST_SRC "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZK_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Only the tests use it: built for speed of building.
  foreach(_t gtest gtest_main gmock)
    target_compile_options(${_t} PRIVATE -O1)
  endforeach()
  add_library(zk_gtest_main INTERFACE)
  target_link_libraries(zk_gtest_main INTERFACE gtest_main gtest gmock)
endif()
