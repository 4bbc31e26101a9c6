# Checks the layering of the tree and prints every violation as
# "file: includes X (why)"; fails when there is one.
#
#   cmake -DSOURCE_DIR=<tree> -P tools/check_layering.cmake
#
# (a) A file whose name lacks "_ui" never includes Qt (<Q...>, <qcustomplot.h>)
#     or a user-interface header (*_ui.h): the core and uldoc's core parts
#     build without Qt.
# (b) A core file (not *_ui) of a subsystem folder includes only its own
#     folder and the folders below it, in this order from the bottom:
#     shell < maps < shaping < modulation < compile < displays < transfer < editors.
#     cli/, app/, tests/, bench/ and fuzz/ sit above them all.
if(NOT SOURCE_DIR)
  get_filename_component(SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

set(core_order shell maps shaping modulation compile displays transfer editors)
set(top_folders cli app tests bench fuzz)

set(files)
foreach(folder IN LISTS core_order top_folders)
  file(GLOB_RECURSE found
    "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h"
    "${SOURCE_DIR}/${folder}/*.hpp" "${SOURCE_DIR}/${folder}/*.cc")
  list(APPEND files ${found})
endforeach()
list(SORT files)

set(violations 0)
foreach(path IN LISTS files)
  file(RELATIVE_PATH rel "${SOURCE_DIR}" "${path}")
  # Test data and fuzz corpora are no sources.
  if(rel MATCHES "/(data|corpus|corpora|seeds)/")
    continue()
  endif()
  get_filename_component(name "${rel}" NAME_WE)
  string(REGEX MATCH "^[^/]+" folder "${rel}")
  set(is_ui FALSE)
  if(name MATCHES "_ui$" OR name MATCHES "_ui_")
    set(is_ui TRUE)
  endif()
  list(FIND core_order "${folder}" rank)

  file(STRINGS "${path}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"].*$" "\\1\\2" target "${line}")
    string(SUBSTRING "${target}" 0 1 bracket)
    string(SUBSTRING "${target}" 1 -1 included)

    if(NOT is_ui)
      if(bracket STREQUAL "<" AND (included MATCHES "^Q[A-Za-z]" OR included MATCHES "^Qt[A-Za-z]*/"
                                   OR included MATCHES "^qcustomplot"))
        message("${rel}: includes <${included}> (Qt in a file without _ui in its name)")
        math(EXPR violations "${violations} + 1")
      elseif(included MATCHES "_ui\\.h$")
        message("${rel}: includes ${included} (a user-interface header in a file without _ui in its name)")
        math(EXPR violations "${violations} + 1")
      endif()
    endif()

    if(NOT is_ui AND rank GREATER_EQUAL 0 AND bracket STREQUAL "\"" AND included MATCHES "/")
      string(REGEX MATCH "^[^/]+" other "${included}")
      list(FIND core_order "${other}" other_rank)
      list(FIND top_folders "${other}" top_rank)
      if(other_rank GREATER rank)
        message("${rel}: includes ${included} (${folder}/ is below ${other}/)")
        math(EXPR violations "${violations} + 1")
      elseif(top_rank GREATER_EQUAL 0)
        message("${rel}: includes ${included} (${other}/ sits above the core)")
        math(EXPR violations "${violations} + 1")
      endif()
    endif()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} layering violation(s)")
endif()
list(LENGTH files checked)
message("layering: ${checked} files checked, no violation")
