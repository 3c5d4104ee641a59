# Cross-compiles for 64-bit Windows with Debian's mingw-w64 and runs the
# results under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PRISMORA_MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix variants: the default (win32 thread model) ones lack std::thread.
set(CMAKE_C_COMPILER ${PRISMORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PRISMORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PRISMORA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PRISMORA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools run under Wine when it is there, through a wrapper that
# gets Wine's background processes going first (see wine-run.sh); the build
# itself never runs Windows programs.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(PRISMORA_WINE NAMES wine wine64)
  find_program(PRISMORA_WINEBOOT NAMES wineboot)
  if(PRISMORA_WINE AND PRISMORA_WINEBOOT)
    set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${PRISMORA_WINE} ${PRISMORA_WINEBOOT})
  endif()
endif()
