# Each subsystem folder is one static library built from the .cc files it holds,
# so adding a file needs no edit here. Dependencies are given as PUBLIC.
# Files listed after EXCLUDE (relative to src/) belong to another library.
function(velmarin_library name dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC;EXCLUDE")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cc)
  foreach(excluded ${arg_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/src/${excluded})
  endforeach()
  set(ARGN ${arg_PUBLIC})
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One GoogleTest binary per subsystem: tests/<dir>/*.cc.
function(velmarin_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${dir}/*.cc)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources} ${CMAKE_SOURCE_DIR}/tests/support/test_environment.cc)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} velmarin_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VELMARIN_BINARY_PATH="$<TARGET_FILE:velmarin>" VELMARIN_TESTDATA_PATH="${VELMARIN_TESTDATA}")
  # Tests that run the real program need it built first.
  if(name IN_LIST VELMARIN_TESTS_RUNNING_PROGRAM)
    add_dependencies(${name} velmarin)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
