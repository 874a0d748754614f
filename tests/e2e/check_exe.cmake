# Checks the built mioutil.exe: a PE32+ console program with the hardening flags,
# stripped and reproducible, that imports only DLLs every Windows has (not even
# msports.dll), carrying its manifest (no execution level, no supported-OS list)
# and its version resource.
# Usage: cmake -DEXE=path [-DRELINKED=path] -DOBJDUMP=path -P check_exe.cmake

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
# loading a crypto provider into every run; the tool seeds its own (stack_guard.cpp).
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

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed "^(kernel32|advapi32|setupapi|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  message(STATUS "imports ${dll}")
  require("${dll}" "${allowed}" "imports ${dll}, which is not part of every Windows")
endforeach()

file(STRINGS ${EXE} manifest REGEX "<assembly|requestedExecutionLevel|supportedOS|trustInfo")
require("${manifest}" "<assembly" "no application manifest embedded")
refuse("${manifest}" "requestedExecutionLevel|supportedOS|trustInfo" "the manifest must declare neither an execution level nor supported systems")
file(STRINGS ${EXE} version ENCODING UTF-16LE REGEX "VS_VERSION_INFO|OriginalFilename")
if(NOT version MATCHES "VS_VERSION_INFO" OR NOT version MATCHES "OriginalFilename")
  message(FATAL_ERROR "no version resource embedded")
endif()
