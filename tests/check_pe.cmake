# Checks the Windows plug-in as a host and the system loader see it, from
# `objdump -p`: a 64-bit DLL named Prismora(64bit).aex that exports only
# EntryPointFunc (by name and as ordinal 1), imports nothing beyond the
# system's kernel and C runtime, and carries the PiPL resource (type PIPL,
# id 16000, language 1033).
# Usage: cmake -DLIBRARY=path -DOBJDUMP=objdump -P check_pe.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var LIBRARY OBJDUMP)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
  OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}: ${errors}")
endif()

set(failures "")
function(expect regex what)
  if(NOT dump MATCHES "${regex}")
    set(failures ${failures} "${what}" PARENT_SCOPE)
  endif()
endfunction()

get_filename_component(file_name ${LIBRARY} NAME)
if(NOT file_name STREQUAL "Prismora(64bit).aex")
  list(APPEND failures "file is named '${file_name}', not 'Prismora(64bit).aex'")
endif()

expect("file format pei-x86-64" "not a 64-bit x86 PE image")
expect("Magic[\t ]+020b[\t ]+\\(PE32\\+\\)" "not PE32+")
expect("Characteristics 0x[0-9a-f]+\n([\t ]+[a-z ]+\n)*[\t ]+DLL\n" "not a DLL")

# Exports: exactly one address and one name, EntryPointFunc, at ordinal 1.
expect("Name[\t ]+[0-9a-f]+ Prismora\\(64bit\\)\\.aex\n" "export directory names another library")
expect("Export Address Table[\t ]+00000001\n" "more or fewer than one exported address")
expect("\\[Name Pointer/Ordinal\\] Table[\t ]+00000001\n" "more or fewer than one exported name")
expect("Ordinal Base 1\n[\t ]+\\[ +0\\] \\+base\\[ +1\\] [0-9a-f]+ Export RVA\n"
       "the export is not ordinal 1")
expect("\\[Ordinal/Name Pointer\\] Table\n[\t ]+\\[ +0\\] EntryPointFunc\n"
       "EntryPointFunc is not exported by name")

# Imports: the kernel and the C runtime (msvcrt, or the universal CRT's
# api-ms-win-crt-* forwarders), nothing the host might not have.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  list(APPEND failures "no import table found")
endif()
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND failures "imports ${dll}")
  endif()
endforeach()

# The resource tree: type PIPL (named), id 16000 (0x3e80), language 1033 (0x409).
expect("Type Table:[^\n]*\n[0-9a-f]+ +Entry: name: \\[[^]]*\\]: PIPL, Value: 0x8[0-9a-f]+\n"
       "no resource type PIPL")
expect("Entry: name: [^\n]*PIPL[^\n]*\n[^\n]*Name Table[^\n]*\n[0-9a-f]+ +Entry: ID: 0x0*3e80,"
       "no PIPL resource with id 16000")
expect("Entry: ID: 0x0*3e80,[^\n]*\n[^\n]*Language Table[^\n]*\n[0-9a-f]+ +Entry: ID: 0x0*409,"
       "the PIPL resource is not in language 1033")

if(failures)
  list(JOIN failures "\n  " text)
  string(SUBSTRING "${dump}" 0 4000 head)
  message(FATAL_ERROR "${LIBRARY}:\n  ${text}\n--- objdump -p, first lines ---\n${head}")
endif()
message(STATUS "${file_name}: PE32+ DLL, exports EntryPointFunc @1, imports ${imports}, PiPL resource 16000/1033")
