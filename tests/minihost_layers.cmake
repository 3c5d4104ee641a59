# Fails when a file of minihost includes one of a higher layer, names a file
# of minihost relative to itself, or lies outside the layer folders.
# Usage: cmake -DMINIHOST_DIR=<minihost folder> -P minihost_layers.cmake
set(layers base loading host params suites driver testing)  # bottom to top

if(NOT IS_DIRECTORY "${MINIHOST_DIR}")
  message(FATAL_ERROR "MINIHOST_DIR is not a folder: '${MINIHOST_DIR}'")
endif()
file(GLOB_RECURSE files RELATIVE "${MINIHOST_DIR}"
  "${MINIHOST_DIR}/*.h" "${MINIHOST_DIR}/*.hpp" "${MINIHOST_DIR}/*.inc"
  "${MINIHOST_DIR}/*.cpp" "${MINIHOST_DIR}/*.cc")
if(NOT files)
  message(FATAL_ERROR "no sources under ${MINIHOST_DIR}")
endif()

set(violations "")
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+/" folder "${file}")
  string(REGEX REPLACE "/$" "" folder "${folder}")
  list(FIND layers "${folder}" level)
  if(level EQUAL -1)
    string(REPLACE ";" ", " names "${layers}")
    list(APPEND violations "${file}: not in a layer folder (${names})")
    continue()
  endif()
  get_filename_component(dir "${MINIHOST_DIR}/${file}" DIRECTORY)
  file(STRINGS "${MINIHOST_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
      continue()
    endif()
    set(included "${CMAKE_MATCH_1}")
    if(included MATCHES "^minihost/([^/]+)/")
      list(FIND layers "${CMAKE_MATCH_1}" included_level)
      if(included_level EQUAL -1)
        list(APPEND violations "${file}: includes ${included}, which is in no layer")
      elseif(included_level GREATER level)
        list(APPEND violations
          "${file}: includes ${included} (layer ${CMAKE_MATCH_1} lies above ${folder})")
      endif()
    elseif(included MATCHES "^minihost/")
      list(APPEND violations "${file}: includes ${included}, which is in no layer")
    elseif(EXISTS "${dir}/${included}")
      list(APPEND violations
        "${file}: includes ${included} relative to itself, not from the project root")
    endif()
  endforeach()
endforeach()

if(violations)
  list(LENGTH violations count)
  string(REPLACE ";" "\n  " listing "${violations}")
  message(FATAL_ERROR "minihost layering: ${count} problem(s)\n  ${listing}")
endif()
