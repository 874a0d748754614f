// The stack protector's guard value for the MinGW build. GCC's own runtime for it
// (libssp) seeds the guard through CryptAcquireContext, which loads a crypto
// provider into every run of the tool, a rejected command line included: under
// Wine that doubled the time a run takes. The guard is seeded here instead as
// MSVC seeds its /GS cookie: from the time, the process and thread, the tick
// count, the performance counter and where the stack happens to lie.
#if defined(__GNUC__) && !defined(_MSC_VER)

#include <windows.h>

#include <cstdint>

extern "C" {

void* __stack_chk_guard = reinterpret_cast<void*>(static_cast<uintptr_t>(0x2B992DDFA2329F5Bull));

// A smashed stack ends the process at once, with the status Windows gives it.
__attribute__((noreturn)) void __stack_chk_fail() {
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

}  // extern "C"

namespace {

// Runs with the other global constructors, before any function that holds a
// guarded buffer; it must not be guarded itself, as it changes the guard.
__attribute__((constructor, optimize("no-stack-protector"))) void SeedStackGuard() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    uint64_t seed = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    seed ^= static_cast<uint64_t>(GetCurrentProcessId()) << 32;
    seed ^= GetCurrentThreadId();
    seed ^= static_cast<uint64_t>(GetTickCount()) << 21;  // not GetTickCount64: XP x64 lacks it
    seed ^= static_cast<uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull;
    seed ^= reinterpret_cast<uintptr_t>(&seed);
    if (seed == 0) seed = 0x2B992DDFA2329F5Bull;
    __stack_chk_guard = reinterpret_cast<void*>(static_cast<uintptr_t>(seed));
}

}  // namespace

#endif
