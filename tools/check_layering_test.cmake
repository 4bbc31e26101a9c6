# The layering check on a small tree with known faults: it must fail, name
# each faulty include with its reason, and name nothing that is allowed.
#
#   cmake -P tools/check_layering_test.cmake
set(fixture "${CMAKE_CURRENT_LIST_DIR}/layering_fixture")
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${fixture} -P ${CMAKE_CURRENT_LIST_DIR}/check_layering.cmake
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")

set(failed FALSE)
if(result EQUAL 0)
  message("the check passed a tree with faults")
  set(failed TRUE)
endif()

set(expected
  "shell/bad.cpp: includes <QWidget> (Qt in a file without _ui in its name)"
  "shell/bad.cpp: includes shell/widgets_ui.h (a user-interface header in a file without _ui in its name)"
  "shell/bad.cpp: includes compile/engine.h (shell/ is below compile/)"
  "compile/fine.cpp: includes tests/support/tempdir.h (tests/ sits above the core)"
  "cli/main.cpp: includes displays/displays_ui.h (a user-interface header in a file without _ui in its name)"
  "5 layering violation(s)")
foreach(line IN LISTS expected)
  string(FIND "${all}" "${line}" at)
  if(at LESS 0)
    message("missing: ${line}")
    set(failed TRUE)
  endif()
endforeach()

# Allowed: Qt and any folder in *_ui files, lower folders in the core, any
# core folder from cli/.
foreach(allowed "panel_ui.cpp" "panels_ui_test.cpp" "maps/maps.h" "shell/uldo.h" "cli/main.cpp: includes compile")
  string(FIND "${all}" "${allowed}" at)
  if(at GREATER_EQUAL 0)
    message("reported although allowed: ${allowed}")
    set(failed TRUE)
  endif()
endforeach()

if(failed)
  message(FATAL_ERROR "the layering check is wrong; its output was:\n${all}")
endif()
message("the layering check finds every fault of the fixture and nothing else")
