# Where the Qt for mingw-w64 is that the Windows build (the preset "mingw") uses, and the
# search paths that let find_package(Qt6) see it through the toolchain's root path:
#   TELMAX_QT_WINDOWS   a Qt 6 built for x86_64-w64-mingw32 (CMake variable, else the environment
#                       variable of that name); without either, the cache scripts/qt-windows
#                       builds (scripts/setup windows).
# Qt's build tools (moc, rcc, uic) are the host's: Debian's Qt 6 of the same version.

# The folder of a Qt for mingw-w64, empty when there is none: the variable, the environment, the cache.
function(telmax_find_qt_windows out)
  set(prefix "${TELMAX_QT_WINDOWS}")
  if(NOT prefix AND DEFINED ENV{TELMAX_QT_WINDOWS})
    set(prefix "$ENV{TELMAX_QT_WINDOWS}")
  endif()
  if(NOT prefix)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/qt-windows --prefix
                    OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  set(${out} "${prefix}" PARENT_SCOPE)
endfunction()

# Points find_package at the Qt named by TELMAX_QT_WINDOWS (or found as above); stops with what
# to do when there is none.
macro(telmax_use_qt_windows)
  telmax_find_qt_windows(telmax_qt_prefix)
  if(NOT telmax_qt_prefix OR NOT EXISTS "${telmax_qt_prefix}/lib/cmake/Qt6/Qt6Config.cmake")
    message(FATAL_ERROR "No Qt for mingw-w64 found ('${telmax_qt_prefix}'): run scripts/setup windows "
                        "(builds it once, about 45 min), or name one with -DTELMAX_QT_WINDOWS=<its prefix>")
  endif()
  set(TELMAX_QT_WINDOWS "${telmax_qt_prefix}" CACHE PATH "Qt 6 built for x86_64-w64-mingw32" FORCE)
  # As Qt's own toolchain file does: the prefix is a root path, its lib/cmake a prefix path, so
  # the toolchain's rule "packages only under the root paths" still keeps the host's Qt out.
  list(PREPEND CMAKE_FIND_ROOT_PATH "${TELMAX_QT_WINDOWS}")
  list(PREPEND CMAKE_PREFIX_PATH "${TELMAX_QT_WINDOWS}/lib/cmake")
  if(NOT QT_HOST_PATH)
    file(GLOB telmax_host_qt /usr/lib/*/cmake/Qt6/Qt6Config.cmake)
    if(NOT telmax_host_qt)
      message(FATAL_ERROR "The host's Qt 6 (moc, rcc, uic) is missing: run scripts/setup windows")
    endif()
    list(GET telmax_host_qt 0 telmax_host_qt)
    cmake_path(GET telmax_host_qt PARENT_PATH telmax_host_qt)
    cmake_path(GET telmax_host_qt PARENT_PATH telmax_host_qt)
    set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, whose moc, rcc and uic the cross-build runs")
    set(QT_HOST_PATH_CMAKE_DIR "${telmax_host_qt}" CACHE PATH "The host Qt's CMake packages")
  endif()
endmacro()
