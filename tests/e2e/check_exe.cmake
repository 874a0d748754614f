# Checks the built mioutil.exe: a PE32+ console program with the hardening flags,
# stripped and reproducible, that imports only DLLs every Windows has (not even
# msports.dll) and from them exactly the functions exe_imports.cmake lists,
# carrying its manifest (no execution level, no supported-OS list) and its
# version resource.
# Usage: cmake -DEXE=path [-DRELINKED=path] -DOBJDUMP=path -P check_exe.cmake
cmake_minimum_required(VERSION 3.25)

# Fails the check with `why` unless (require) or when (refuse) `text` matches `pattern`.
function(require text pattern why)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${why}")
  endif()
endfunction()
function(refuse text pattern why)
  if(text MATCHES "${pattern}")
    message(FATAL_ERROR "${why}")
  endif()
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
require("${dump}" "Magic[\t ]+020b" "not a PE32+ image")
require("${dump}" "Subsystem[\t ]+00000003" "not a console program")
# Without TERMINAL_SERVICE_AWARE Windows gives the tool a per-user Windows folder
# on a Remote Desktop host, and the INF folder it works on would not be the
# system's. The others: address space randomisation (64-bit), no code run from data.
foreach(flag DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT TERMINAL_SERVICE_AWARE)
  require("${dump}" "\n[\t ]+${flag}\n" "DllCharacteristics lacks ${flag}")
endforeach()
# Stripped: no COFF symbol table (the static runtime's symbols made up most of the file).
require("${dump}" "\n[\t ]+symbols stripped\n" "not stripped: the exe carries a symbol table")
# GCC's stack-protector runtime would seed its guard through CryptAcquireContext,
# loading a crypto provider into every run; the tool seeds its own (stack_guard_win32.cpp).
refuse("${dump}" "CryptAcquireContext" "imports CryptAcquireContext: the stack protector's guard comes from libssp")
# Reproducible: the same objects linked a second time give the same bytes (no time stamp).
if(DEFINED RELINKED)
  file(SHA256 ${EXE} first)
  file(SHA256 ${RELINKED} second)
  if(NOT first STREQUAL second)
    message(FATAL_ERROR "a second link of the same objects differs: ${EXE} ${RELINKED}")
  endif()
  message(STATUS "a second link gives the same bytes (sha256 ${first})")
endif()
require("${dump}" "Time/Date[\t ]+(Thu Jan  1 00:00:00 1970|0+)\n" "the header carries a link time stamp")

# The imported functions, DLL by DLL, must be exactly those of exe_imports.cmake:
# a new import may be one XP x64 lacks, and the loader would refuse the whole exe.
include(${CMAKE_CURRENT_LIST_DIR}/exe_imports.cmake)
string(REGEX REPLACE "^.*The Import Tables[^\n]*\n" "" tables "${dump}")
string(REGEX REPLACE "\nThe [^\n]*\n.*$" "" tables "${tables}")
string(REGEX MATCHALL "DLL Name: [^\n]+|\n\t[0-9a-f]+\t +[0-9]+ +[^\n]+" entries "${tables}")
set(dlls "")
foreach(entry IN LISTS entries)
  if(entry MATCHES "^DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    string(REGEX REPLACE "\\.dll$" "" dll "${dll}")
    list(APPEND dlls ${dll})
    set(imported_${dll} "")
  elseif(entry MATCHES "^\n\t[0-9a-f]+\t +[0-9]+ +([^ ]+)$")
    list(APPEND imported_${dll} "${CMAKE_MATCH_1}")
  endif()
endforeach()
require("${dlls}" "kernel32" "no import table found in the objdump output")
set(wrong "")
foreach(dll IN LISTS dlls)
  message(STATUS "imports ${dll}.dll: ${imported_${dll}}")
  if(NOT dll IN_LIST EXE_IMPORT_DLLS)
    string(APPEND wrong "\n  imports ${dll}.dll, which is not part of every Windows")
  endif()
endforeach()
foreach(dll IN LISTS EXE_IMPORT_DLLS)
  foreach(function IN LISTS imported_${dll})
    if(NOT function IN_LIST EXE_IMPORTS_${dll})
      string(APPEND wrong "\n  imports ${dll}!${function}, which exe_imports.cmake does not list")
    endif()
  endforeach()
  foreach(function IN LISTS EXE_IMPORTS_${dll})
    if(NOT function IN_LIST imported_${dll})
      string(APPEND wrong "\n  does not import ${dll}!${function}, which exe_imports.cmake lists")
    endif()
  endforeach()
endforeach()
if(wrong)
  message(FATAL_ERROR "the exe's imports differ from tests/e2e/exe_imports.cmake:${wrong}\n"
                      "Check that XP x64 / Server 2003 x64 has each new function (else look it up at "
                      "run time), then list it there.")
endif()

file(STRINGS ${EXE} manifest REGEX "<assembly|requestedExecutionLevel|supportedOS|trustInfo")
require("${manifest}" "<assembly" "no application manifest embedded")
refuse("${manifest}" "requestedExecutionLevel|supportedOS|trustInfo" "the manifest must declare neither an execution level nor supported systems")
file(STRINGS ${EXE} version ENCODING UTF-16LE REGEX "VS_VERSION_INFO|OriginalFilename")
if(NOT version MATCHES "VS_VERSION_INFO" OR NOT version MATCHES "OriginalFilename")
  message(FATAL_ERROR "no version resource embedded")
endif()
