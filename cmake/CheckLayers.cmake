# Checks that the source folders depend on each other only downwards.
#
#   cmake -DSRC=<source root> -P CheckLayers.cmake
#
# Every file under SRC lives in one folder (SRC itself counts as "main", the
# program entry). A quoted include "folder/file.h" must name the file's own
# folder or one its folder may use below; anything else, an include without
# a folder, and a file in a folder missing from the table are errors. Tests
# (*_test.cc) may also use the shared test helpers in "support/". The script
# lists every violation and fails when there is one.
#
# The layers, lowest first (README.md, "Layout", shows the same):
set(uses_base "")
set(uses_stage base)
set(uses_segment base stage)
set(uses_skeleton base segment)
set(uses_behaviour base skeleton)
set(uses_output base stage segment skeleton behaviour)
set(uses_run base stage segment skeleton behaviour output)
set(uses_main base run)

if(NOT SRC)
  message(FATAL_ERROR "CheckLayers: set SRC to the source root")
endif()
file(GLOB_RECURSE sources RELATIVE "${SRC}" "${SRC}/*.h" "${SRC}/*.cc")
list(SORT sources)
set(violations "")
foreach(rel IN LISTS sources)
  get_filename_component(dir "${rel}" DIRECTORY)
  if(dir STREQUAL "")
    set(layer main)
  else()
    string(REGEX REPLACE "/.*" "" layer "${dir}")
  endif()
  if(NOT DEFINED uses_${layer})
    string(APPEND violations "  ${rel}: folder '${layer}' has no place in the layers\n")
    continue()
  endif()
  set(allowed ${layer} ${uses_${layer}})
  if(rel MATCHES "_test\\.cc$")
    list(APPEND allowed support)
  endif()
  file(STRINGS "${SRC}/${rel}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      string(APPEND violations "  ${rel}: \"${header}\" names no folder\n")
      continue()
    endif()
    string(REGEX REPLACE "/.*" "" target "${header}")
    list(FIND allowed "${target}" found)
    if(found EQUAL -1)
      string(APPEND violations "  ${rel}: ${layer}/ may not include \"${header}\"\n")
    endif()
  endforeach()
endforeach()
list(LENGTH sources count)
if(violations)
  message(FATAL_ERROR "Includes against the layering:\n${violations}")
endif()
message(STATUS "Layers kept: ${count} files checked")
