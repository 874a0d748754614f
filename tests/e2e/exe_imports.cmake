# Every function mioutil.exe imports, DLL by DLL: the exe check fails for an import
# missing here and for one listed here that the exe no longer imports. The exe must
# start on XP x64 and Server 2003 x64 (NT 5.2 SP1), where the loader refuses an exe
# whose import the system's DLL lacks. Before adding a name, look up the oldest
# Windows that exports it; a newer function is looked up at run time (GetProcAddress)
# instead, as SetDefaultDllDirectories and GetNativeSystemInfo are.
# Checked against NT 5.2's export lists (the export definitions of ReactOS's kernel32
# and msvcrt, which mark what only Vista and later have) and Microsoft's documented minimums.
set(EXE_IMPORT_DLLS advapi32 kernel32 msvcrt setupapi)

set(EXE_IMPORTS_advapi32
  # Is the caller an administrator (Windows 2000)
  AllocateAndInitializeSid CheckTokenMembership FreeSid
  # Registry (every NT)
  RegCloseKey RegCreateKeyExW RegDeleteKeyW RegDeleteValueW RegEnumKeyW RegEnumValueW
  RegOpenKeyExW RegQueryValueExW RegSetValueExW)

set(EXE_IMPORTS_kernel32
  # Files, processes, DLLs, errors (every NT)
  CloseHandle CreateFileW CreateProcessW DeleteFileW FindClose FindFirstFileW FindNextFileW
  FormatMessageW FreeLibrary GetCommandLineW GetCurrentProcess GetExitCodeProcess
  GetFileAttributesW GetLastError GetModuleFileNameW GetModuleHandleW GetProcAddress
  GetSystemDirectoryW GetWindowsDirectoryW LoadLibraryExW MoveFileExW ReadFile SetLastError
  TerminateProcess WaitForSingleObject WriteFile
  # Windows 2000 and later
  GetFileAttributesExW GetFileSizeEx
  # A checked DLL's private folder and its import tables (every NT)
  CreateDirectoryW RemoveDirectoryW CreateFileMappingW MapViewOfFile UnmapViewOfFile
  # -Status's report in the console's code page (every NT)
  GetConsoleOutputCP GetOEMCP WideCharToMultiByte
  # Run log time and platform probe (every NT; GetNativeSystemInfo is looked up)
  GetLocalTime GetSystemInfo GetVersionExW
  # Stack guard seed (stack_guard_win32.cpp). Not GetTickCount64: Vista and later.
  GetCurrentProcessId GetCurrentThreadId GetSystemTimeAsFileTime GetTickCount
  QueryPerformanceCounter
  # The static MinGW runtime's start-up, threads and pseudo-relocations (every NT)
  DeleteCriticalSection EnterCriticalSection GetStartupInfoW InitializeCriticalSection
  IsDBCSLeadByteEx LeaveCriticalSection MultiByteToWideChar SetUnhandledExceptionFilter
  Sleep TlsGetValue VirtualProtect VirtualQuery
  # x64 exception dispatch, exported (forwarded to ntdll) by every x64 kernel32, 5.2 included
  __C_specific_handler)

# The system's msvcrt.dll, through the static MinGW runtime. XP x64's (7.0.3790) has
# none of the "_s" functions (Vista and later); none is imported.
set(EXE_IMPORTS_msvcrt
  # Start-up, exit and locale (msvcrt of XP and Server 2003)
  ___lc_codepage_func ___mb_cur_max_func __iob_func __set_app_type __setusermatherr
  __wgetmainargs __winitenv _amsg_exit _cexit _commode _errno _fmode _initterm _lock
  _onexit _unlock _wcmdln abort exit signal
  # C89 library (every msvcrt)
  calloc fprintf fputc fputwc free fwprintf fwrite localeconv malloc memcpy memset strerror
  strlen strncmp vfprintf wcscmp wcslen)

set(EXE_IMPORTS_setupapi
  # Device nodes and their keys (Windows 2000)
  SetupDiCallClassInstaller SetupDiDeleteDevRegKey SetupDiDestroyDeviceInfoList
  SetupDiEnumDeviceInfo SetupDiGetClassDevsW SetupDiGetDeviceInstanceIdW
  SetupDiGetDeviceRegistryPropertyW SetupDiOpenDevRegKey SetupDiRemoveDevice
  SetupDiSetClassInstallParamsW SetupDiSetDeviceRegistryPropertyW
  # A restart left for the reboot: DI_NEEDRESTART / DI_NEEDREBOOT (Windows 2000)
  SetupDiGetDeviceInstallParamsW SetupDiSetDeviceInstallParamsW)
