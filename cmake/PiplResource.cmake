# The PiPL a library carries: on ELF systems a ".pipl" section compiled from
# resources/pipl_section.cpp; on Windows a resource (type PiPL, id 16000,
# language 1033) that the resource script takes from PiPL.bin, which
# pipl_gen writes from the same constants as the code.

set(PRISMORA_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/resources)
set(PRISMORA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(PRISMORA_PIPL_BIN ${PRISMORA_GENERATED_DIR}/PiPL.bin)

if(WIN32)
  enable_language(RC)
  file(MAKE_DIRECTORY ${PRISMORA_GENERATED_DIR})
  if(CMAKE_CROSSCOMPILING)
    # The generator runs during the build, so it is compiled for the build
    # machine: a Windows generator would need Wine just to build. Its
    # dependency file rebuilds it (and so the PiPL) whenever a constant
    # changes in any header it includes.
    find_program(PRISMORA_HOST_CXX NAMES c++ g++ clang++
      DOC "C++ compiler of the build machine, for the PiPL generator")
    if(NOT PRISMORA_HOST_CXX)
      message(FATAL_ERROR "A C++ compiler for the build machine is needed to generate the "
                          "PiPL (install g++); set PRISMORA_HOST_CXX to use another.")
    endif()
    set(pipl_gen ${PRISMORA_GENERATED_DIR}/pipl_gen_host)
    add_custom_command(
      OUTPUT ${pipl_gen}
      COMMAND ${PRISMORA_HOST_CXX} -std=c++20 -Wall -Wextra -Wpedantic
              -I${PROJECT_SOURCE_DIR}/src -I${PRISMORA_RESOURCES_DIR}
              -MD -MF ${pipl_gen}.d -o ${pipl_gen} ${PRISMORA_RESOURCES_DIR}/pipl_gen.cpp
      MAIN_DEPENDENCY ${PRISMORA_RESOURCES_DIR}/pipl_gen.cpp
      DEPFILE ${pipl_gen}.d
      COMMENT "Building the PiPL generator for the build machine"
      VERBATIM)
  else()
    add_executable(pipl_gen ${PRISMORA_RESOURCES_DIR}/pipl_gen.cpp)
    target_include_directories(pipl_gen PRIVATE ${PROJECT_SOURCE_DIR}/src
      ${PRISMORA_RESOURCES_DIR})
    set(pipl_gen pipl_gen)
  endif()
  add_custom_command(
    OUTPUT ${PRISMORA_PIPL_BIN}
    COMMAND ${pipl_gen} ${PRISMORA_PIPL_BIN}
    DEPENDS ${pipl_gen}
    COMMENT "Generating the PiPL resource"
    VERBATIM)
  add_custom_target(prismora_pipl DEPENDS ${PRISMORA_PIPL_BIN})
endif()

# Gives `target` (a plug-in library) the PiPL in the platform's form.
function(prismora_add_pipl target)
  if(WIN32)
    target_sources(${target} PRIVATE ${PRISMORA_RESOURCES_DIR}/Prismora.rc)
    # windres finds PiPL.bin on its include path.
    target_include_directories(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:RC>:${PRISMORA_GENERATED_DIR}>)
    # A new PiPL.bin must recompile the resource script that embeds it.
    set_source_files_properties(${PRISMORA_RESOURCES_DIR}/Prismora.rc
      TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${PRISMORA_PIPL_BIN})
    add_dependencies(${target} prismora_pipl)
  else()
    target_sources(${target} PRIVATE ${PRISMORA_RESOURCES_DIR}/pipl_section.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src
      ${PRISMORA_RESOURCES_DIR})
  endif()
endfunction()
