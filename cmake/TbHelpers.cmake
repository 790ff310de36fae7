# Helpers that keep each target's declaration to one line.
#
#   tb_library(NAME core DIRS component accounts DEPS tb::host)
#     a static library `tb_core` (alias `tb::core`) of every *.cc in DIRS.
#   tb_test(NAME check_test DIRS tests/check DEPS tb::check)
#     one GoogleTest executable of every *.cc in DIRS, registered with CTest.
#
# Sources are globbed so that adding an operation's file needs no edit here.

# GCC 12 reports impossible overlaps in inlined std::string concatenation
# (-Wrestrict, GCC bug 105651); the warning is off until the compiler is fixed.
function(tb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
                         $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

function(tb_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cc)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(tb_library)
  cmake_parse_arguments(TB "" "NAME" "DIRS;DEPS" ${ARGN})
  tb_glob(srcs ${TB_DIRS})
  add_library(tb_${TB_NAME} STATIC ${srcs})
  add_library(tb::${TB_NAME} ALIAS tb_${TB_NAME})
  target_include_directories(tb_${TB_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tb_${TB_NAME} PUBLIC ${TB_DEPS})
  tb_warnings(tb_${TB_NAME})
endfunction()

function(tb_test)
  cmake_parse_arguments(TB "" "NAME" "DIRS;DEPS" ${ARGN})
  tb_glob(srcs ${TB_DIRS})
  if(NOT srcs)
    return()
  endif()
  add_executable(${TB_NAME} ${srcs})
  target_link_libraries(${TB_NAME} PRIVATE ${TB_DEPS} GTest::gtest GTest::gmock
                                           GTest::gtest_main)
  target_compile_definitions(${TB_NAME} PRIVATE
    TB_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TB_BINARY_DIR="${PROJECT_BINARY_DIR}")
  tb_warnings(${TB_NAME})
  gtest_discover_tests(${TB_NAME} WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                       DISCOVERY_TIMEOUT 60)
endfunction()
