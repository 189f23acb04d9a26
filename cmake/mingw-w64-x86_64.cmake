# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S <project> -B <dir> -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The posix flavour is the one whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TELMAX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TELMAX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELMAX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TELMAX_MINGW_PREFIX}-windres)

# Headers and libraries come from the Windows sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TELMAX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
