// Whether a file carries a valid Authenticode signature of Microsoft's. For a DLL
// that an elevated process would take from a folder others may write to: wintrust
// and crypt32 are loaded by full path from System32 at the check, never imported.
#pragma once

#include <windows.h>

namespace mioutil {

enum class SignerVerdict {
    kMicrosoft,     // valid signature, signer's organization is Microsoft's
    kOtherSigner,   // valid signature of someone else (or a signer whose name cannot be read)
    kNotValid,      // no signature, a bad digest, an untrusted chain...: `error` says which
    kNotCheckable,  // wintrust or crypt32 (or one of their functions) could not be had: `error`
};

struct SignatureCheck {
    SignerVerdict verdict;
    DWORD error;  // WinVerifyTrust's result, or the load error
};

/// Verifies the file through `file` (opened for reading), `path` naming the same
/// file. Revocation is not checked: it may reach the network, and hang there.
SignatureCheck CheckMicrosoftSignature(HANDLE file, const wchar_t* path);

}  // namespace mioutil
