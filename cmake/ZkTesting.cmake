# Compiler settings shared by every target, and helpers that declare the
# programs and test programs.

# The native build is a test build (sanitizers and fuzzing hooks) unless
# ZK_SANITIZERS is OFF: then it is the release build of the command-line tool
# that scripts/install and the benchmark use.
option(ZK_SANITIZERS "Native build with AddressSanitizer, UBSan and the fuzzers' hooks" ON)
if(ZK_NATIVE AND NOT ZK_SANITIZERS)
  add_compile_options(-Wall -Wextra)
elseif(ZK_NATIVE)
  set(ZK_SANITIZE "-fsanitize=address,undefined" "-fno-sanitize-recover=undefined" "-fno-omit-frame-pointer")
  # With clang every native object also carries libFuzzer's coverage
  # instrumentation, so the fuzz targets (fuzz/) see into the code they link.
  # Without the fuzzer main the hooks fall back to the sanitizer runtime.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(ZK_FUZZING ON)
    list(APPEND ZK_SANITIZE "-fsanitize=fuzzer-no-link")
    # Unoptimised code runs the fuzzers several times slower; -O1 keeps
    # sanitizer reports and debugging accurate enough.
    add_compile_options(-O1)
  endif()
  add_compile_options(${ZK_SANITIZE} -Wall -Wextra)
  add_link_options(${ZK_SANITIZE})
  # LZ4 is declared before these options exist; it is compiled from source,
  # so it gets them too: a buffer we size wrongly for the decompressor shows
  # up as a sanitizer report, and the fuzzers see its branches.
  if(TARGET zk_lz4)
    target_compile_options(zk_lz4 PRIVATE ${ZK_SANITIZE} $<$<BOOL:${ZK_FUZZING}>:-O1>)
  endif()
else()
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  add_compile_options(-Wall -Wextra -Wno-cast-function-type)
  # No DLL of the toolchain (libstdc++, libgcc, winpthread) beside the programs.
  add_link_options(-static -static-libgcc -static-libstdc++)

  # Runs Windows programs under Wine with a private prefix in the build tree.
  set(ZK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  if(NOT ZK_WINE_ARCH)
    set(ZK_WINE_ARCH win32)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# Path of a file of this build as a Windows program under Wine sees it.
function(zk_wine_path out unix_path)
  string(REPLACE "/" "\\\\" _p "${unix_path}")
  set(${out} "Z:${_p}" PARENT_SCOPE)
endfunction()

# zk_add_test_program(name SOURCES ... LIBS ...): one test program, one CTest
# entry (the whole program), so that Wine starts once per program.
function(zk_add_test_program name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT A_SOURCES)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} zk_gtest_main)
  if(NOT ZK_NATIVE)
    # Test code is compiled without optimisation (the code under test is in
    # the libraries, optimised as shipped): building the test programs for
    # two architectures otherwise takes most of the test command's time.
    target_compile_options(${name} PRIVATE -O0)
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <windows.h> <string> <vector>)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

# zk_add_program(name GUI_MAIN file RC file SOURCES ... LIB_NAME lib LIBS ...
# [STRIP]): a Windows GUI program whose entry point is GUI_MAIN; the other
# SOURCES go into the static library LIB_NAME so that test programs link the
# same code. The resource script is linked into the program only.
function(zk_add_program name)
  cmake_parse_arguments(A "STRIP" "GUI_MAIN;RC;LIB_NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${A_LIB_NAME} STATIC ${A_SOURCES})
  target_link_libraries(${A_LIB_NAME} PUBLIC ${A_LIBS})
  add_executable(${name} WIN32 ${A_GUI_MAIN} ${A_RC})
  target_link_libraries(${name} PRIVATE ${A_LIB_NAME})
  target_link_options(${name} PRIVATE -municode -mwindows)
  if(A_STRIP)
    # Nothing may follow the last section: archives are appended there.
    target_link_options(${name} PRIVATE -s)
  endif()
endfunction()

# zk_test_disks(test): small disks the fault tests of one test program can
# fill or cannot write, mounted by a fixture around the program's CTest
# entry; the program finds them through ZK_TEST_DISKS (a Windows path).
function(zk_test_disks test)
  if(NOT TARGET ${test})
    return()
  endif()
  set(_disks "${CMAKE_BINARY_DIR}/test-disks/${test}")
  string(REPLACE "/" "\\" _disks_win "Z:${_disks}")
  add_test(NAME ${test}_disks_mount COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-disks mount ${_disks})
  add_test(NAME ${test}_disks_unmount COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-disks unmount ${_disks})
  set_tests_properties(${test}_disks_mount PROPERTIES FIXTURES_SETUP ${test}_disks)
  set_tests_properties(${test}_disks_unmount PROPERTIES FIXTURES_CLEANUP ${test}_disks)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED ${test}_disks ENVIRONMENT "ZK_TEST_DISKS=${_disks_win}")
endfunction()

# zk_draw_pictures(KIND TARGET FOLDER FILES...): a target drawing the
# pictures of one program (KIND builder or sfx) into FOLDER.
function(zk_draw_pictures kind target folder)
  set(_files ${ARGN})
  add_custom_command(OUTPUT ${_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${ZK_PICTURE_TOOL} ${kind} ${folder}
    DEPENDS ${ZK_PICTURE_TOOL} zk_picture_tool
    COMMENT "Drawing the ${kind} pictures"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${_files})
endfunction()
