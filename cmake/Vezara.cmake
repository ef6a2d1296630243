# vezara_library(<name> [HEADER_ONLY] [SRC_DIRS d...] [INCLUDE_DIRS d...] [DEPS t...] [PRIVATE_DEPS t...])
# Builds a static library from every .cpp of its source folders, so that new
# files need no edit of the build files.
function(vezara_library name)
  cmake_parse_arguments(V "HEADER_ONLY" "" "SRC_DIRS;INCLUDE_DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  if(V_HEADER_ONLY)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${V_INCLUDE_DIRS})
    target_link_libraries(${name} INTERFACE ${V_DEPS})
    return()
  endif()
  set(srcs)
  foreach(d ${V_SRC_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.c)
    list(APPEND srcs ${s})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${V_INCLUDE_DIRS})
  target_link_libraries(${name} PUBLIC ${V_DEPS} PRIVATE ${V_PRIVATE_DEPS})
endfunction()

include(GoogleTest)

# vezara_tests(<name> DIR <test folder> DEPS t...)
# One test program per library, from every .cpp of its test folder; each of
# its GoogleTest cases is a CTest test of its own ("Suite.Case"), so that a
# failure is reported by name and one case runs with `ctest -R`.
function(vezara_tests name)
  cmake_parse_arguments(V "" "DIR" "DEPS" ${ARGN})
  if(NOT VEZARA_TESTS OR NOT VEZARA_SIM)
    return()
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${V_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${V_DEPS} GTest::gtest GTest::gtest_main)
  # GoogleTest's header is most of each test file's compile time: the first
  # test program precompiles it, the others use that one.
  get_property(pch GLOBAL PROPERTY VEZARA_TEST_PCH)
  if(pch)
    target_precompile_headers(${name} REUSE_FROM ${pch})
  else()
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <string> <vector>)
    set_property(GLOBAL PROPERTY VEZARA_TEST_PCH ${name})
  endif()
  # Each test is a process of its own: linked at a fixed address, a test
  # program starts with no relocations for the loader to apply (the sanitizer
  # build has hundreds of thousands of them).
  target_link_options(${name} PRIVATE -no-pie)
  # Test files are compiled a few to a unit: they share most of what they
  # instantiate from GoogleTest and the standard library, which is then
  # compiled once per unit instead of once per file.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${VEZARA_TEST_UNITY_BATCH})
  target_compile_definitions(${name} PRIVATE
    VEZARA_TESTDATA="${PROJECT_SOURCE_DIR}/testdata"
    VEZARA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    EXTRA_ARGS --gtest_brief=1
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 600
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()
