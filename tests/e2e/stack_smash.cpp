// Test helper: built with the tool's stack protector and its guard (stack_guard_win32.cpp).
// Prints "seeded" when the guard no longer holds its link-time value, then writes
// past a stack buffer; the protector must end the process with
// STATUS_STACK_BUFFER_OVERRUN before this function returns.
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" void* __stack_chk_guard;

namespace {

__attribute__((noinline)) void Smash(const char* text, size_t length) {
    char buffer[8];
    std::memcpy(buffer, text, length);  // past the buffer's end
    std::printf("not caught: %c\n", buffer[0]);
}

}  // namespace

int wmain(int argc, wchar_t**) {
    std::printf("%s\n", reinterpret_cast<uintptr_t>(__stack_chk_guard) != 0x2B992DDFA2329F5Bull ? "seeded" : "unseeded");
    std::fflush(stdout);
    const char text[] = "0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdef";
    Smash(text, sizeof(text) - static_cast<size_t>(argc));  // argc keeps the length unknown to the compiler
    return 0;
}
