# Catches a deploy folder that lacks a DLL the programs or Qt need (the build fails, naming it).
# Gathers into one folder all that the programs need on a Windows machine with nothing
# installed, then checks that every DLL a program or a DLL of the folder imports is in the
# folder or is part of Windows. Run by the target "deploy" (package/windows/CMakeLists.txt):
#
#   cmake -DDEST=<folder> -DPROGRAMS=<a.exe;b.exe> -DQT=<Qt prefix> -DRUNTIME=<dll;...>
#         -DQT_CONF=<qt.conf> -DOBJDUMP=<objdump> -DSTRIP=<strip> -DSYSROOT_LIB=<sysroot>/lib
#         -P deploy.cmake
#
# The copies are stripped of their symbols (Debian's runtime DLLs and a Release build of Qt
# carry debugging sections): 26 MB instead of 60.
#
# Windows DLLs are told by their import library in the mingw-w64 sysroot (libkernel32.a, ...):
# a DLL without one must travel with the programs. Besides the folder it writes, next to it,
# <folder>.files: every file of the folder, relative, one a line (the installer's list).

cmake_minimum_required(VERSION 3.25)

foreach(var DEST PROGRAMS QT RUNTIME QT_CONF OBJDUMP STRIP SYSROOT_LIB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "deploy.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}/platforms" "${DEST}/styles")
file(COPY ${PROGRAMS} ${RUNTIME} "${QT_CONF}" DESTINATION "${DEST}")
foreach(module Core Gui Widgets)
  file(COPY "${QT}/bin/Qt6${module}.dll" DESTINATION "${DEST}")
endforeach()
file(COPY "${QT}/plugins/platforms/qwindows.dll" DESTINATION "${DEST}/platforms")
file(GLOB styles "${QT}/plugins/styles/*.dll")
if(styles)
  file(COPY ${styles} DESTINATION "${DEST}/styles")
endif()

file(GLOB_RECURSE binaries RELATIVE "${DEST}" "${DEST}/*.exe" "${DEST}/*.dll")
foreach(binary ${binaries})
  execute_process(COMMAND ${STRIP} --strip-unneeded "${DEST}/${binary}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "deploy.cmake: ${STRIP} failed on ${binary}")
  endif()
endforeach()

# Every import of every .exe and .dll, resolved in the folder or as part of Windows.
file(GLOB present RELATIVE "${DEST}" "${DEST}/*.dll")
string(TOLOWER "${present}" present)
set(missing "")
foreach(binary ${binaries})
  execute_process(COMMAND ${OBJDUMP} -p "${DEST}/${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "deploy.cmake: ${OBJDUMP} cannot read ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(import ${imports})
    string(REGEX REPLACE "DLL Name: ([^\n]+)" "\\1" dll "${import}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    string(REGEX REPLACE "\\.dll$" "" stem "${dll}")
    if(dll IN_LIST present OR EXISTS "${SYSROOT_LIB}/lib${stem}.a" OR dll MATCHES "^api-ms-win-")
      continue()
    endif()
    list(APPEND missing "${binary} needs ${dll}")
  endforeach()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "deploy.cmake: DLLs that a Windows machine does not have and the folder lacks:\n  ${missing}")
endif()

file(GLOB_RECURSE files RELATIVE "${DEST}" "${DEST}/*")
list(SORT files)
list(JOIN files "\n" listing)
file(WRITE "${DEST}.files" "${listing}\n")
list(LENGTH files count)
message(STATUS "deploy: ${count} files in ${DEST}")
