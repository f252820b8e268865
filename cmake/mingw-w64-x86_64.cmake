# Cross-compiling for 64-bit Windows with mingw-w64 on Linux.
#
# The posix thread model compilers are used because the win32 model has no
# std::thread/std::mutex, which GoogleTest needs. Test programs run under Wine
# through scripts/wine-run, so ctest works on the cross build as it does natively.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${KVO_MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the mingw sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KVO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(KVO_REPO_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KVO_REPO_ROOT}/scripts/wine-run")
