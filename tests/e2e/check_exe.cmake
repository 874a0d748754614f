# Checks the built mioutil.exe: a PE32+ console program, Terminal Server aware,
# that imports only DLLs every Windows has, carrying its manifest (no execution
# level, no supported-OS list) and its version resource.
# Usage: cmake -DEXE=path -DOBJDUMP=path -P check_exe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
if(NOT dump MATCHES "Magic[\t ]+020b")
  message(FATAL_ERROR "not a PE32+ image")
endif()
if(NOT dump MATCHES "Subsystem[\t ]+00000003")
  message(FATAL_ERROR "not a console program")
endif()
# Without it Windows gives the tool a per-user Windows folder on a Remote Desktop
# host, and the INF folder it works on would not be the system's.
if(NOT dump MATCHES "TERMINAL_SERVICE_AWARE")
  message(FATAL_ERROR "not marked Terminal Server aware")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed "^(kernel32|advapi32|setupapi|msports|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  message(STATUS "imports ${dll}")
  if(NOT dll MATCHES "${allowed}")
    message(FATAL_ERROR "imports ${dll}, which is not part of every Windows")
  endif()
endforeach()

file(STRINGS ${EXE} manifest REGEX "<assembly|requestedExecutionLevel|supportedOS|trustInfo")
if(NOT manifest MATCHES "<assembly")
  message(FATAL_ERROR "no application manifest embedded")
endif()
if(manifest MATCHES "requestedExecutionLevel|supportedOS|trustInfo")
  message(FATAL_ERROR "the manifest must declare neither an execution level nor supported systems")
endif()
file(STRINGS ${EXE} version ENCODING UTF-16LE REGEX "VS_VERSION_INFO|OriginalFilename")
if(NOT version MATCHES "VS_VERSION_INFO" OR NOT version MATCHES "OriginalFilename")
  message(FATAL_ERROR "no version resource embedded")
endif()
