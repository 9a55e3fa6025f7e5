# Precompiled headers: every target of ours parses Qt's and the standard library's headers
# once, not once a source; test programs also GoogleTest's. Most of a build's time went to
# parsing them again and again.

option(TAURELIN_PCH "Precompile the Qt, standard and GoogleTest headers per target" ON)

set(TAURELIN_PCH_HEADERS
  <QtCore/QByteArray> <QtCore/QDate> <QtCore/QDateTime> <QtCore/QHash> <QtCore/QList>
  <QtCore/QObject> <QtCore/QString> <QtCore/QStringList> <QtCore/QVariant>
  <functional> <memory> <optional> <utility> <vector>)

function(taurelin_collect_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    taurelin_collect_targets(${subdirectory} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(taurelin_precompile_headers)
  if(NOT TAURELIN_PCH)
    return()
  endif()
  taurelin_collect_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(LENGTH sources count)
    # A header compiled for one or two sources costs more than it saves.
    if(count LESS 3)
      continue()
    endif()
    get_target_property(libraries ${target} LINK_LIBRARIES)
    set(headers ${TAURELIN_PCH_HEADERS})
    if(libraries MATCHES "GTest::")
      list(APPEND headers <gtest/gtest.h>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
  endforeach()
endfunction()
