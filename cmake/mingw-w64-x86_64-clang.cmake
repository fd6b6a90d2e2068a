# Compiles the Windows host with Debian's clang against the same MinGW-w64 headers and C++ library
# as the GCC build, so that code only GCC accepts fails to build before an MSVC build exists to
# catch it. Compile only: nothing it makes is linked, run or tested.
#
# clang's objects do not link with GCC's libstdc++: clang defines __GXX_WEAK__ where MinGW GCC
# does not, so both define std::type_info::operator==, and the linker finds the type information
# they both emit of different sizes. Rather than patch the library's ABI, each program and DLL of
# this build is an empty file where its link would be; static libraries are archived as usual.
# Every compile step stays, and so do the custom steps that stage files.

if(CMAKE_CXX_LINK_EXECUTABLE)
  # CMake is reading this file again as the rules override set below, after its own link rules.
  foreach(_keelo_rule CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE LINK_EXECUTABLE)
    set(CMAKE_CXX_${_keelo_rule} "\"${CMAKE_COMMAND}\" -E touch <TARGET>")
  endforeach()
  # A DLL's import library is an output of its link step too.
  string(APPEND CMAKE_CXX_CREATE_SHARED_LIBRARY " <TARGET_IMPLIB>")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
unset(CMAKE_CROSSCOMPILING_EMULATOR)
# Read by the project's modules, which then leave out what only a linked build needs: the
# GoogleTest library's own sources, and the installer packages.
set(KEELO_COMPILE_ONLY ON)
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_FILE})
# The compiler checks must not depend on linking either.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${_keelo_mingw_triplet})
set(CMAKE_CXX_COMPILER_TARGET ${_keelo_mingw_triplet})

# clang cannot find the GCC installation by itself, because Debian names its folder after the
# thread model ("12-posix"), which clang does not take for a version. The posix g++ says where
# its libgcc lives; the C++ headers are beside it.
execute_process(
  COMMAND ${_keelo_mingw_triplet}-g++-posix -print-libgcc-file-name
  OUTPUT_VARIABLE _keelo_libgcc
  OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
cmake_path(GET _keelo_libgcc PARENT_PATH _keelo_gcc_dir)
set(_keelo_cxx_headers ${_keelo_gcc_dir}/include/c++)

# The sysroot keeps the Linux /usr/include out of the search path.
set(CMAKE_C_FLAGS_INIT "--sysroot=${CMAKE_FIND_ROOT_PATH}")
set(CMAKE_CXX_FLAGS_INIT
    "--sysroot=${CMAKE_FIND_ROOT_PATH} -isystem ${_keelo_cxx_headers} \
-isystem ${_keelo_cxx_headers}/${_keelo_mingw_triplet} -isystem ${_keelo_cxx_headers}/backward")
