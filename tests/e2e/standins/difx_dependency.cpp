// A DLL the difxapi.dll stand-in imports, as the real one imports system DLLs: the
// tests copy it to System32, and plant a DLL of its name beside the exe.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI DifxDependency() { return 1; }
