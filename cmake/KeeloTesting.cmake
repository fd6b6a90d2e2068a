# keelo_sanitize(<target>)
#   Native build only: builds <target> with AddressSanitizer and UndefinedBehaviorSanitizer, and
#   makes any undefined behaviour fatal so that a test cannot pass after triggering it. On a
#   static, object or interface library the link flags go to whatever links it, since the
#   sanitizer runtime is linked into the final executable.
#
# keelo_add_gtest(<target> SOURCES <files...> [LIBRARIES <libs...>] [NO_SANITIZE]
#                 [PROPERTIES <name> <value>...])
#   Builds a GoogleTest executable linked with gtest_main and GoogleMock, sanitized in the native
#   build unless NO_SANITIZE, and registers each of its tests with CTest. In the Windows build
#   the tests are listed and run under Wine through the cross-compiling emulator. PROPERTIES are
#   set on every discovered test; values must not be lists.

include(GoogleTest)

function(keelo_sanitize target)
  if(NOT KEELO_NATIVE)
    return()
  endif()
  set(flags -fsanitize=address,undefined -fno-omit-frame-pointer
            -fno-sanitize-recover=undefined)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_compile_options(${target} INTERFACE ${flags})
    target_link_options(${target} INTERFACE ${flags})
  elseif(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
    target_compile_options(${target} PRIVATE ${flags})
    target_link_options(${target} INTERFACE ${flags})
  else()
    target_compile_options(${target} PRIVATE ${flags})
    target_link_options(${target} PRIVATE ${flags})
  endif()
endfunction()

function(keelo_add_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_SANITIZE" "" "SOURCES;LIBRARIES;PROPERTIES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "keelo_add_gtest(${target}): unexpected ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "keelo_add_gtest(${target}): SOURCES is required")
  endif()

  add_executable(${target} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${arg_LIBRARIES} GTest::gmock GTest::gtest_main)
  if(NOT arg_NO_SANITIZE)
    keelo_sanitize(${target})
  endif()

  # Natively, listing right after the link turns a test binary that crashes on start-up into a
  # build error. Under Wine the listing waits for the test run, which has the Xvfb and the
  # wineserver that scripts/test starts, so that building never needs Wine.
  if(KEELO_NATIVE)
    set(discovery_mode POST_BUILD)
  else()
    set(discovery_mode PRE_TEST)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE ${discovery_mode}
    # The first listing under Wine may create the prefix, which takes several seconds.
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${arg_PROPERTIES})
endfunction()
