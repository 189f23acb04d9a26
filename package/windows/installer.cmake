# Makes the installer from the deploy folder: the lists of files the NSIS script installs and
# removes, then makensis. Run by the target "installer" (package/windows/CMakeLists.txt):
#
#   cmake -DDEST=<deploy folder> -DNSI=<telmax-config.nsi> -DVERSION=<x.y.z>
#         -DOUTFILE=<setup.exe> -DMAKENSIS=<makensis> -P installer.cmake
#
# The list is <deploy folder>.files, written by deploy.cmake: the uninstaller deletes those
# files by name, never the folder with whatever else it holds.

cmake_minimum_required(VERSION 3.25)

foreach(var DEST NSI VERSION OUTFILE MAKENSIS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "installer.cmake: ${var} is not set")
  endif()
endforeach()

file(STRINGS "${DEST}.files" files)
set(install "")
set(uninstall "")
set(folders "")
foreach(file ${files})
  cmake_path(GET file PARENT_PATH folder)
  string(REPLACE "/" "\\" windows_file "${file}")
  string(REPLACE "/" "\\" windows_folder "${folder}")
  if(folder)
    string(APPEND install "SetOutPath \"$INSTDIR\\${windows_folder}\"\n")
  else()
    string(APPEND install "SetOutPath \"$INSTDIR\"\n")
  endif()
  string(APPEND install "File \"${DEST}/${file}\"\n")
  string(APPEND uninstall "Delete \"$INSTDIR\\${windows_file}\"\n")
  if(folder AND NOT folder IN_LIST folders)
    list(APPEND folders "${folder}")
  endif()
endforeach()
# Deepest first, so that a folder is empty when it is removed.
list(SORT folders ORDER DESCENDING)
foreach(folder ${folders})
  string(REPLACE "/" "\\" windows_folder "${folder}")
  string(APPEND uninstall "RMDir \"$INSTDIR\\${windows_folder}\"\n")
endforeach()

cmake_path(GET OUTFILE PARENT_PATH work)
file(WRITE "${work}/installer-files.nsh" "${install}")
file(WRITE "${work}/installer-unfiles.nsh" "${uninstall}")
execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCD "-DVERSION=${VERSION}" "-DOUTFILE=${OUTFILE}"
          "-DFILES_NSH=${work}/installer-files.nsh" "-DUNFILES_NSH=${work}/installer-unfiles.nsh" "${NSI}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "installer.cmake: makensis failed (${status})")
endif()
file(SIZE "${OUTFILE}" size)
math(EXPR megabytes "${size} / 1048576")
message(STATUS "installer: ${OUTFILE} (${megabytes} MB)")
