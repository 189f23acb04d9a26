# The compile options every target of the project takes, as interface targets our own targets
# link: telmax_warnings (warnings, errors with TELMAX_WERROR, the sources read as UTF-8) and
# telmax_sanitizers (ASan and UBSan with TELMAX_SANITIZE; libFuzzer's coverage with TELMAX_FUZZ).
# Nothing is set for the whole directory tree, so a project that adds ours keeps its own flags.

add_library(telmax_warnings INTERFACE)
if(MSVC)
  target_compile_options(telmax_warnings INTERFACE /W4 /utf-8 $<$<BOOL:${TELMAX_WERROR}>:/WX>)
else()
  target_compile_options(telmax_warnings INTERFACE -Wall -Wextra $<$<BOOL:${TELMAX_WERROR}>:-Werror>)
endif()

add_library(telmax_sanitizers INTERFACE)
if(TELMAX_FUZZ)
  # The libraries get coverage and the sanitizers; each fuzz target links libFuzzer's main.
  # Undefined behaviour stops the run like a crash does.
  target_compile_options(telmax_sanitizers INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(TELMAX_SANITIZE)
  target_compile_options(telmax_sanitizers INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  target_link_options(telmax_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# Links telmax_warnings and telmax_sanitizers into every target defined under the given folders
# that compiles code of ours.
function(telmax_use_build_options)
  foreach(dir ${ARGN})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
        target_link_libraries(${target} PRIVATE telmax_warnings telmax_sanitizers)
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    if(subdirs)
      telmax_use_build_options(${subdirs})
    endif()
  endforeach()
endfunction()

# Qt's headers take about half of a product file's compile time (<QString> alone about a
# second): the Qt Core layers' targets compile them once, as one precompiled header, and read it.
# (The window's few files gain nothing from one of their own: QtWidgets' header costs what it
# saves.) The package preset turns this off (CMAKE_DISABLE_PRECOMPILE_HEADERS), so there every
# file is compiled on its own, which also shows a file that forgets an include.
function(telmax_precompile_qt_core target)
  get_property(first GLOBAL PROPERTY TELMAX_QT_CORE_PCH)
  if(first)
    target_precompile_headers(${target} REUSE_FROM ${first})
  else()
    target_precompile_headers(${target} PRIVATE <string> <vector> <optional> <QString> <QStringList>
                              <QByteArray>)
    set_property(GLOBAL PROPERTY TELMAX_QT_CORE_PCH ${target})
  endif()
endfunction()
