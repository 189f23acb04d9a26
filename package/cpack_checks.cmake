# Read by cpack for each generator. Without dpkg-shlibdeps, cpack only prints a note and makes a
# package that installs without Qt and the other libraries the programs need.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW)   # only an executable file counts, as for cpack itself
  find_program(TELMAX_DPKG_SHLIBDEPS dpkg-shlibdeps)
  cmake_policy(POP)
  if(NOT TELMAX_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (package dpkg-dev): the package's dependencies "
                        "on Qt and the other libraries cannot be computed.")
  endif()
endif()

# The manual pages are made when the programs are built (package/CMakeLists.txt); cpack only
# copies files, so a build without help2man, or without the target package-files, would give a
# package without them.
if(CPACK_GENERATOR STREQUAL "DEB")
  foreach(page telmax-config telmax-cmd telmax-sim)
    list(FILTER CPACK_TELMAX_MAN_PAGES EXCLUDE REGEX "^$")
    set(found "")
    foreach(file IN LISTS CPACK_TELMAX_MAN_PAGES)
      if(file MATCHES "/${page}\\.1\\.gz$")
        set(found "${file}")
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "no manual page for ${page}: help2man was not found when the build was "
                          "configured (install it, e.g. scripts/setup build, then configure again)")
    endif()
    if(NOT EXISTS "${found}")
      message(FATAL_ERROR "${found} is not built: cmake --build <build> --target package-files")
    endif()
  endforeach()
endif()
