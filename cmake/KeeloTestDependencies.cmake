# Makes GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main available, and
# benchmark::benchmark in the native build.

if(KEELO_NATIVE)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  return()
endif()

# Debian ships GoogleTest prebuilt only for the host, so the Windows build compiles it from the
# sources of the googletest package with the same toolchain and flags as the tests.
set(KEELO_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources built for the Windows tests")
if(NOT EXISTS ${KEELO_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR
    "GoogleTest sources not found in ${KEELO_GOOGLETEST_SOURCE_DIR}; run scripts/bootstrap")
endif()

# GoogleTest declares these with option() under an old policy, which ignores plain variables.
set(INSTALL_GTEST OFF CACHE BOOL "GoogleTest is only built for the tests" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "Build GoogleMock with GoogleTest" FORCE)

# SYSTEM keeps our -Werror from judging GoogleTest's headers.
add_subdirectory(${KEELO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest
                 EXCLUDE_FROM_ALL SYSTEM)

# A build that links nothing needs only GoogleTest's headers and the flags its targets give the
# tests; its own sources, a minute of compiling, are left out of their (then empty) archives.
if(KEELO_COMPILE_ONLY)
  foreach(library gtest gtest_main gmock gmock_main)
    get_target_property(library_sources ${library} SOURCES)
    get_target_property(library_dir ${library} SOURCE_DIR)
    # Relative names would be taken as relative to this directory, not to the library's.
    list(TRANSFORM library_sources PREPEND ${library_dir}/ REGEX "^[^/]")
    set_source_files_properties(${library_sources} DIRECTORY ${library_dir}
                                PROPERTIES HEADER_FILE_ONLY ON)
  endforeach()
endif()
