# One static library per source folder; every .cpp in the folder belongs to it,
# so adding a unit needs no edit here.
function(qira_library name folder)
  file(GLOB _sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp
       ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
  qira_precompiled_headers(${name} QIRA_LIBRARY_PCH ${CMAKE_SOURCE_DIR}/src/platform/Precompiled.h)
endfunction()

# The standard, Qt and test headers every unit includes are compiled once: the
# first target of a kind makes the precompiled header, the others of that kind
# (built with the same flags) reuse it.
function(qira_precompiled_headers target owner_property)
  get_property(_owner GLOBAL PROPERTY ${owner_property})
  if(_owner)
    target_precompile_headers(${target} REUSE_FROM ${_owner})
  else()
    target_precompile_headers(${target} PRIVATE ${ARGN})
    set_property(GLOBAL PROPERTY ${owner_property} ${target})
  endif()
endfunction()

# One test program per test folder. The test code itself is compiled without
# optimisation (still under the sanitizers): it is most of what the test build
# compiles, and its speed matters little; the libraries under test keep theirs.
set(QIRA_TEST_SHARDS 4 CACHE STRING "Processes each test program's cases are spread over")
# A program whose cases take long in all sets QIRA_TEST_SHARDS_<name> before it is
# made, so that no shard runs near ctest's time limit on a busy machine.
function(qira_tests name folder)
  set(_shards ${QIRA_TEST_SHARDS})
  if(DEFINED QIRA_TEST_SHARDS_${name})
    set(_shards ${QIRA_TEST_SHARDS_${name}})
  endif()
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_options(${name} PRIVATE -O0)
  qira_precompiled_headers(${name} QIRA_TEST_PCH ${CMAKE_SOURCE_DIR}/src/platform/Precompiled.h <gtest/gtest.h> <gmock/gmock.h>)
  target_compile_definitions(${name} PRIVATE
    QIRA_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    QIRA_PYTHON="/usr/bin/python3")
  # The offscreen cases run as a few shards of the program rather than a process
  # each: starting a sanitized program with Qt and Mesa costs more than most cases.
  # Every case still runs; a failing shard shows the cases that failed.
  math(EXPR _last "${_shards} - 1")
  foreach(_shard RANGE ${_last})
    add_test(NAME ${name}.${_shard} COMMAND ${name} --gtest_filter=-*X11*)
    set_tests_properties(${name}.${_shard} PROPERTIES TIMEOUT 300 ENVIRONMENT
      "QT_QPA_PLATFORM=offscreen;GTEST_TOTAL_SHARDS=${_shards};GTEST_SHARD_INDEX=${_shard}")
  endforeach()
  # Suites named *X11* show real windows on the one virtual display the test run
  # shares: they run one at a time, or one window would cover another's pixels.
  # Their program's application is made on X11 even when a test environment makes
  # it before the first test. A modal dialog that misses its queued answer would
  # wait for ever; the time limit turns it into a failure.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES TEST_FILTER "*X11*"
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" RESOURCE_LOCK x11_display TIMEOUT 300)
endfunction()
