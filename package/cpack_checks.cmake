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
