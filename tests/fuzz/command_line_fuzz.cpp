// ParseCommandLine on any argument vector: it reads no string past its zero and
// gives an operation only for the lone argument that is exactly a switch.
#include <vector>

#include "app/command_line.h"
#include "fuzz_input.h"
#include "names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const uint8_t shape = in.Byte();
    const int argc = shape % 5;
    // Each argument is a run of code units up to a zero unit, in a buffer of exactly its length.
    std::vector<WideBuffer> strings;
    std::vector<std::wstring> copies;
    std::vector<const wchar_t*> argv;
    for (int i = 0; i < argc; ++i) {
        std::wstring arg;
        while (in.Left() > 0) {
            const wchar_t c = static_cast<wchar_t>(in.Unit());
            if (c == L'\0') break;
            arg.push_back(c);
        }
        WideBuffer copy(new wchar_t[arg.size() + 1]);
        arg.copy(copy.get(), arg.size());
        copy[arg.size()] = L'\0';
        argv.push_back(copy.get());
        strings.push_back(std::move(copy));
        copies.push_back(arg);
    }
    if (argc > 1 && (shape & 0x80) != 0) argv[1] = nullptr;
    argv.push_back(nullptr);

    const uint32_t op = mioutil::ParseCommandLine(argc, argv.data());

    struct Expected {
        const wchar_t* text;
        uint32_t op;
    };
    const Expected switches[] = {
        {L"-RemoveDeviceNode", mioutil::OpRemoveDeviceNodes},
        {L"-RemoveCOMdb", mioutil::OpReleaseComDb},
        {L"-ScanHardware", mioutil::OpScanHardware},
        {L"-UninstallDriver", mioutil::OpUninstallDriver},
    };
    uint32_t expected = argc == 1 ? uint32_t{mioutil::OpRemapComPorts} : uint32_t{mioutil::OpInvalid};
    if (argc == 2 && argv[1] != nullptr) {
        for (const Expected& s : switches) {
            if (copies[1] == s.text) expected = s.op;
        }
    }
    FUZZ_CHECK(op == expected);
    return 0;
}
