// ParseCommandLine on any argument vector: it reads no string past its zero and
// gives an operation only for the lone argument that is exactly a switch.
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"
#include "names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int argc = in.ConsumeIntegralInRange(0, 4);
    const bool secondIsNull = in.ConsumeBool();
    // Each argument ends at its first zero, in a buffer of exactly its length and that zero.
    std::vector<std::wstring> copies;
    std::vector<WideBuffer> strings;
    std::vector<const wchar_t*> argv;
    for (int i = 0; i < argc; ++i) {
        const std::wstring taken = TakeWide(in, in.ConsumeIntegral<uint8_t>());
        const std::wstring arg = taken.substr(0, taken.find(L'\0'));
        copies.push_back(arg);
        strings.push_back(Exactly(arg + L'\0'));
        argv.push_back(strings.back().get());
    }
    if (argc > 1 && secondIsNull) argv[1] = nullptr;
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
