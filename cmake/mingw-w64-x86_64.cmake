# Cross-compiles the Windows host with Debian's MinGW-w64 and runs what it builds under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_keelo_mingw_triplet x86_64-w64-mingw32)

# The -posix variants use winpthreads, which std::thread and std::mutex need; the -win32 ones
# do not provide them in GCC 12.
set(CMAKE_C_COMPILER ${_keelo_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_keelo_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_keelo_mingw_triplet}-windres)

# Link libgcc, libstdc++ and winpthreads statically so that no MinGW DLL has to ship beside the
# executables, and so that Wine finds everything a test needs without a PATH for DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${_keelo_mingw_triplet})
# Build tools come from the host; headers, libraries and packages only from the MinGW sysroot, so
# that nothing from the Linux system leaks into the Windows build.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The wrapper finds the project's Wine prefix from the executable's build tree by itself, so the
# emulator needs no build-directory argument; that keeps this file valid for try_run projects too,
# whose CMAKE_BINARY_DIR is a scratch directory.
cmake_path(ABSOLUTE_PATH CMAKE_CURRENT_LIST_DIR NORMALIZE OUTPUT_VARIABLE _keelo_cmake_dir)
cmake_path(GET _keelo_cmake_dir PARENT_PATH _keelo_source_dir)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_keelo_source_dir}/scripts/wine-run")
