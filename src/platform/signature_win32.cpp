#include "platform/signature.h"

#include <softpub.h>
#include <wintrust.h>

#include <cwchar>

#include "names.h"
#include "platform/system_dll.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFromStateDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFromChainFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using ProvCertFromChainFn = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using CertGetNameStringFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

struct TrustApi {
    UniqueModule wintrust;
    UniqueModule crypt32;
    WinVerifyTrustFn verify;
    ProvDataFromStateDataFn provData;
    ProvSignerFromChainFn signer;
    ProvCertFromChainFn cert;
    CertGetNameStringFn name;
};

template <typename Fn>
bool Lookup(const UniqueModule& module, const char* name, Fn& out) {
    out = DllFunction<Fn>(module.get(), name);
    return out != nullptr;
}

// The error when one of them cannot be had, else 0. Every function is there on XP too.
DWORD LoadTrustApi(TrustApi& api) {
    api.wintrust.reset(LoadSystemDll(L"wintrust.dll"));
    api.crypt32.reset(LoadSystemDll(L"crypt32.dll"));
    const bool all = Lookup(api.wintrust, "WinVerifyTrust", api.verify) &&
                     Lookup(api.wintrust, "WTHelperProvDataFromStateData", api.provData) &&
                     Lookup(api.wintrust, "WTHelperGetProvSignerFromChain", api.signer) &&
                     Lookup(api.wintrust, "WTHelperGetProvCertFromChain", api.cert) &&
                     Lookup(api.crypt32, "CertGetNameStringW", api.name);
    if (all) return ERROR_SUCCESS;
    return GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PROC_NOT_FOUND;
}

// The organization (O) in the subject of the certificate that signed the file.
bool SignerIsMicrosoft(const TrustApi& api, HANDLE state) {
    CRYPT_PROVIDER_DATA* data = api.provData(state);
    CRYPT_PROVIDER_SGNR* signer = data != nullptr ? api.signer(data, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* cert = signer != nullptr ? api.cert(signer, 0) : nullptr;
    if (cert == nullptr || cert->pCert == nullptr) return false;
    wchar_t organization[128] = {};
    const DWORD got = api.name(cert->pCert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_ORGANIZATION_NAME),
                               organization, 128);
    return got > 1 && wcscmp(organization, kMicrosoftSignerOrganization) == 0;
}

}  // namespace

SignatureCheck CheckMicrosoftSignature(HANDLE file, const wchar_t* path) {
    TrustApi api = {};
    const DWORD loadError = LoadTrustApi(api);
    if (loadError != ERROR_SUCCESS) return {SignerVerdict::kNotCheckable, loadError};

    // Through the caller's handle, so that the bytes verified are the bytes it holds.
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;
    WINTRUST_DATA trust = {};
    trust.cbStruct = sizeof(trust);
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    SignatureCheck check = {SignerVerdict::kNotValid, static_cast<DWORD>(status)};
    if (status == 0) {
        check.verdict = SignerIsMicrosoft(api, trust.hWVTStateData) ? SignerVerdict::kMicrosoft
                                                                     : SignerVerdict::kOtherSigner;
    }
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    return check;
}

}  // namespace mioutil
