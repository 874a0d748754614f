#include "platform/platform_probe.h"
#include "platform/system_dll.h"

#include <windows.h>

#include "platform/platform_class.h"

namespace mioutil {

// The pure classification's copies of the platform's numbers.
static_assert(kProductWorkstation == VER_NT_WORKSTATION && kArchIntel == PROCESSOR_ARCHITECTURE_INTEL &&
                  kArchAmd64 == PROCESSOR_ARCHITECTURE_AMD64,
              "platform numbers as the SDK has them");

PlatformFacts GetPlatformFacts() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // Deprecated, but it is exactly what the manifest-dependent classification wants:
    // without a supported-OS list every Windows from 8 on reports 6.2. A failure
    // leaves the version 0.0, which classifies as 0.
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#if defined(_MSC_VER)
#pragma warning(pop)
#endif

    SYSTEM_INFO info = {};
    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    const auto native = Kernel32Function<GetNativeSystemInfoFn>("GetNativeSystemInfo");
    if (native != nullptr) {
        native(&info);
    } else {
        GetSystemInfo(&info);
    }

    PlatformFacts facts = {};
    facts.major = version.dwMajorVersion;
    facts.minor = version.dwMinorVersion;
    facts.build = version.dwBuildNumber;
    facts.productType = version.wProductType;
    facts.architecture = info.wProcessorArchitecture;
    facts.platformClass = ClassifyPlatform(facts.major, facts.minor, facts.productType, facts.architecture);
    return facts;
}

uint32_t GetPlatformClass() { return GetPlatformFacts().platformClass; }

bool RunsAsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

}  // namespace mioutil
