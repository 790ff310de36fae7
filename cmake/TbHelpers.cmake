# Helpers that keep each target's declaration to one line.
#
#   tb_library(NAME data DIR data SOURCES connection.cc DEPS tb::host)
#     a static library `tb_data` (alias `tb::data`) of the listed files of
#     one folder, whose includes are checked against the layers below it.
#   tb_test(NAME check_test DIRS tests/check DEPS tb::check)
#     one GoogleTest executable of every *.cc in DIRS, registered with CTest.

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

# Every `#include "folder/file.h"` of the files in DIR must name a folder in
# ALLOWED, and every *.cc in DIR must be in SOURCES: a layer uses only the
# layers below it, and no file is left out of its library unnoticed.
function(tb_check_folder dir allowed sources)
  file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h
       ${PROJECT_SOURCE_DIR}/${dir}/*.cc)
  foreach(file IN LISTS files)
    if(file MATCHES "\\.cc$" AND NOT file IN_LIST sources)
      message(FATAL_ERROR "${file} is not among the sources of its library")
    endif()
    file(STRINGS ${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*$" "\\1" folder "${line}")
      if(NOT folder IN_LIST allowed)
        message(FATAL_ERROR "${file}: ${line}\n"
                "${dir} may use only: ${allowed}")
      endif()
    endforeach()
  endforeach()
endfunction()

# tb_library(NAME n DIR folder SOURCES a.cc ... DEPS tb::below ... other)
#   a static library `tb_n` (alias `tb::n`) of the listed files of one
#   folder. Its files may include headers of its own folder and of the
#   folders of the tb:: libraries it depends on, directly or through them.
function(tb_library)
  cmake_parse_arguments(TB "" "NAME;DIR" "SOURCES;DEPS" ${ARGN})
  list(TRANSFORM TB_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/${TB_DIR}/)
  add_library(tb_${TB_NAME} STATIC ${TB_SOURCES})
  add_library(tb::${TB_NAME} ALIAS tb_${TB_NAME})
  target_include_directories(tb_${TB_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tb_${TB_NAME} PUBLIC ${TB_DEPS})
  tb_warnings(tb_${TB_NAME})
  set(allowed ${TB_DIR})
  foreach(dep IN LISTS TB_DEPS)
    if(dep MATCHES "^tb::(.*)$")
      get_property(below GLOBAL PROPERTY TB_FOLDERS_${CMAKE_MATCH_1})
      list(APPEND allowed ${below})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL PROPERTY TB_FOLDERS_${TB_NAME} ${allowed})
  tb_check_folder(${TB_DIR} "${allowed}" "${TB_SOURCES}")
endfunction()

# Compiles every header of FOLDERS on its own (`make headers`, run by the
# tests), so that each includes what it uses.
function(tb_header_check)
  cmake_parse_arguments(TB "" "" "FOLDERS;DEPS" ${ARGN})
  set(units)
  foreach(dir IN LISTS TB_FOLDERS)
    file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/${dir}/*.h)
    foreach(header IN LISTS headers)
      string(REPLACE "/" "__" unit ${header})
      set(unit ${PROJECT_BINARY_DIR}/headers/${unit}.cc)
      file(CONFIGURE OUTPUT ${unit} CONTENT "#include \"${header}\"\n")
      list(APPEND units ${unit})
    endforeach()
  endforeach()
  add_library(tb_headers OBJECT EXCLUDE_FROM_ALL ${units})
  set_target_properties(tb_headers PROPERTIES UNITY_BUILD OFF)
  target_link_libraries(tb_headers PRIVATE ${TB_DEPS})
  tb_warnings(tb_headers)
  add_custom_target(headers DEPENDS tb_headers)
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
