# Compares this build with the Windows build of the same sources, run under
# Wine. Two modes:
#
#   -DTOOL=path -DARGS="info"     runs the prismora tool of both builds with
#       ARGS; both must succeed and print the same. Line ends are normalised
#       (the Windows C runtime writes CR LF) and the line naming the plug-in
#       file (also as JSON) is left out, since the two builds load different
#       files.
#   -DRENDER_CASES=path -DWORK_DIR=dir [-DFLOAT_TOLERANCE=t]
#       renders the fixed cases with prismora_render_cases of both builds and
#       compares the outputs with this build's program.
#
# Always: -DWINDOWS_DIR=dir, the Windows build folder, and -DNATIVE_PLUGIN=path,
# this build's plug-in. Skipped (printing "SKIPPED:") when the Windows build
# or Wine is missing, or when the Windows build is older than this one (built
# from older sources, it would differ for no fault), unless the environment
# sets PRISMORA_REQUIRE_WINDOWS_BUILD.
cmake_minimum_required(VERSION 3.25)

function(skip_or_fail reason)
  if(DEFINED ENV{PRISMORA_REQUIRE_WINDOWS_BUILD})
    message(FATAL_ERROR "${reason} (required by PRISMORA_REQUIRE_WINDOWS_BUILD)")
  endif()
  message("SKIPPED: ${reason}")
endfunction()

foreach(var WINDOWS_DIR NATIVE_PLUGIN)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
if(DEFINED TOOL)
  set(native_program ${TOOL})
  set(windows_program ${WINDOWS_DIR}/prismora.exe)
elseif(DEFINED RENDER_CASES AND DEFINED WORK_DIR)
  set(native_program ${RENDER_CASES})
  set(windows_program ${WINDOWS_DIR}/prismora_render_cases.exe)
else()
  message(FATAL_ERROR "set TOOL and ARGS, or RENDER_CASES and WORK_DIR")
endif()

set(windows_files ${windows_program} "${WINDOWS_DIR}/Prismora(64bit).aex")
foreach(file IN LISTS windows_files)
  if(NOT EXISTS "${file}")
    skip_or_fail("${file} is not built (cmake --workflow --preset windows)")
    return()
  endif()
  foreach(native IN ITEMS ${native_program} ${NATIVE_PLUGIN})
    if("${native}" IS_NEWER_THAN "${file}")
      skip_or_fail("${file} is older than ${native}: rebuild it (cmake --workflow --preset windows)")
      return()
    endif()
  endforeach()
endforeach()
find_program(WINE NAMES wine wine64)
find_program(WINEBOOT NAMES wineboot)
if(NOT WINE OR NOT WINEBOOT)
  skip_or_fail("Wine is not installed")
  return()
endif()

set(ENV{WINEDEBUG} -all)
# The prefix is initialised first, with no pipe of ours open: Wine's
# background processes would otherwise keep the output pipe open long after
# the program ends.
execute_process(COMMAND ${WINEBOOT} --init
  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null
  RESULT_VARIABLE rc TIMEOUT 240)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wineboot --init failed: ${rc}")
endif()

# Runs a command; fails the test unless it succeeds. Sets <out_var>.
function(run label out_var)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work_dir}
    INPUT_FILE /dev/null OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 240)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${label} failed (${rc}):\n${out}${err}")
  endif()
  string(REPLACE "\r\n" "\n" out "${out}")
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

if(DEFINED TOOL)
  set(work_dir ${CMAKE_CURRENT_BINARY_DIR})
  separate_arguments(args UNIX_COMMAND "${ARGS}")
  run("'${ARGS}' of this build" native ${TOOL} ${args})
  run("'${ARGS}' of the Windows build under Wine" windows ${WINE} ${windows_program} ${args})
  foreach(side native windows)
    string(REGEX REPLACE "(^|\n)plug-in [^\n]*" "\\1plug-in (file)" ${side} "${${side}}")
    string(REGEX REPLACE "(^|\n)  \"plugin\": [^\n]*" "\\1  \"plugin\": (file)" ${side} "${${side}}")
  endforeach()
  if(NOT native STREQUAL windows)
    message(FATAL_ERROR "the builds disagree on '${ARGS}'.\n"
                        "--- this build:\n${native}--- Windows under Wine:\n${windows}")
  endif()
  string(LENGTH "${native}" length)
  message(STATUS "'${ARGS}': both builds print the same ${length} characters")
else()
  # Relative names: the Windows program opens them in its working folder.
  set(work_dir ${WORK_DIR})
  file(MAKE_DIRECTORY ${work_dir})
  file(REMOVE ${work_dir}/native.cases ${work_dir}/windows.cases)
  if(NOT DEFINED FLOAT_TOLERANCE)
    set(FLOAT_TOLERANCE 0)
  endif()
  run("rendering with this build" ignored ${RENDER_CASES} write native.cases)
  run("rendering with the Windows build under Wine" ignored
      ${WINE} ${windows_program} write windows.cases)
  execute_process(
    COMMAND ${RENDER_CASES} compare native.cases windows.cases --float-tolerance ${FLOAT_TOLERANCE}
    WORKING_DIRECTORY ${work_dir} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the builds render differently (float tolerance ${FLOAT_TOLERANCE})")
  endif()
endif()
