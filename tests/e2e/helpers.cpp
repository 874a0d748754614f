#include "helpers.h"

namespace e2e {

namespace {

// A prvalue, for the owner to take: UniqueRegKey does not move.
HKEY Opened(REGSAM view, const std::wstring& path, REGSAM access, HKEY root) {
    HKEY key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, access | view, &key) == ERROR_SUCCESS ? key : nullptr;
}

std::string Where(const std::wstring& path) { return testing::PrintToString(path); }

std::wstring Long(const std::wstring& path) { return path.size() >= MAX_PATH - 12 ? L"\\\\?\\" + path : path; }

std::wstring Folder(std::wstring path) { return path.substr(0, path.find_last_of(L"\\/")); }

}  // namespace

bool FailAt(At at, const std::string& what) {
    ADD_FAILURE_AT(at.file, at.line) << what;
    return false;
}

Done CreateKey(REGSAM view, const std::wstring& path, HKEY root, At at) {
    UniqueRegKey key;
    const LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
    return status == ERROR_SUCCESS || FailAt(at, "cannot create " + Where(path) + ": " + std::to_string(status));
}

Done SetValue(REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD bytes, HKEY root, At at) {
    UniqueRegKey key;
    LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
    }
    return status == ERROR_SUCCESS ||
           FailAt(at, "cannot set " + Where(path) + " value " + Where(name) + ": " + std::to_string(status));
}

Done SetText(REGSAM view, const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type,
             HKEY root, At at) {
    return SetValue(view, path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                    root, at);
}

bool ReadValue(REGSAM view, const std::wstring& path, const std::wstring& name, std::string* data, DWORD* type,
               HKEY root) {
    const UniqueRegKey key(Opened(view, path, KEY_READ, root));
    DWORD bytes = 0;
    if (!key.valid() || RegQueryValueExW(key.get(), name.c_str(), nullptr, type, nullptr, &bytes) != ERROR_SUCCESS) {
        return false;
    }
    data->assign(bytes + 2, '\0');
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    data->resize(bytes);
    return true;
}

bool ReadText(REGSAM view, const std::wstring& path, const std::wstring& name, std::wstring* text, HKEY root) {
    std::string data;
    if (!ReadValue(view, path, name, &data, nullptr, root)) return false;
    text->assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    text->resize(wcsnlen(text->c_str(), text->size()));
    return true;
}

bool ValueExists(REGSAM view, const std::wstring& path, const std::wstring& name, HKEY root) {
    const UniqueRegKey key(Opened(view, path, KEY_READ, root));
    return key.valid() && RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::vector<std::wstring> ValueNames(REGSAM view, const std::wstring& path, HKEY root) {
    std::vector<std::wstring> names;
    const UniqueRegKey key(Opened(view, path, KEY_READ, root));
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0; key.valid(); ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

std::vector<std::wstring> SubkeyNames(REGSAM view, const std::wstring& path, HKEY root) {
    std::vector<std::wstring> names;
    const UniqueRegKey key(Opened(view, path, KEY_READ, root));
    for (DWORD i = 0; key.valid(); ++i) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

bool KeyExists(REGSAM view, const std::wstring& path, HKEY root) {
    return UniqueRegKey(Opened(view, path, KEY_READ, root)).valid();
}

void DeleteValue(REGSAM view, const std::wstring& path, const std::wstring& name, HKEY root) {
    const UniqueRegKey key(Opened(view, path, KEY_SET_VALUE, root));
    if (key.valid()) RegDeleteValueW(key.get(), name.c_str());
}

void DeleteTree(REGSAM view, const std::wstring& path, HKEY root) {
    {
        const UniqueRegKey key(Opened(view, path, KEY_ALL_ACCESS, root));
        if (!key.valid()) return;
        RegDeleteTreeW(key.get(), nullptr);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

std::wstring BinDir() {
    wchar_t path[MAX_PATH] = {};
    return Folder(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
}

std::wstring SystemDir() {
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, GetSystemDirectoryW(path, MAX_PATH));
}

std::wstring WindowsDir() {
    wchar_t windows[MAX_PATH] = {};
    return std::wstring(windows, GetWindowsDirectoryW(windows, MAX_PATH));
}

std::wstring InfFolder() { return WindowsDir() + L"\\inf"; }

std::wstring InfPath(const std::wstring& name) { return InfFolder() + L"\\" + name; }

Done WriteBytes(const std::wstring& path, const std::string& bytes, At at) {
    const UniqueFile file(
        CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return (file.valid() && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size()) ||
           FailAt(at, "cannot write " + Where(path) + ": error " + std::to_string(GetLastError()));
}

Done CopyTo(const std::wstring& from, const std::wstring& to, At at) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) ||
           FailAt(at, "cannot copy " + Where(from) + " to " + Where(to) + ": error " + std::to_string(GetLastError()));
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    const UniqueFile file(CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[65536];
    DWORD got = 0;
    while (file.valid() && ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveFileForce(const std::wstring& path) {
    SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(Long(path).c_str());
    RemoveDirectoryW(Long(path).c_str());  // a test may have made a directory of that name
}

void RemoveTreeForce(const std::wstring& folder) {
    WIN32_FIND_DATAW found = {};
    const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = find.valid(); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTreeForce(folder + L"\\" + name);
        } else {
            RemoveFileForce(folder + L"\\" + name);
        }
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring TempLog(const wchar_t* fileName) {
    wchar_t path[MAX_PATH] = {};
    TempLogPath(path, MAX_PATH, fileName);
    return path;
}

std::vector<std::wstring> ReadLogLines(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        const int length = static_cast<int>(end - start);
        std::wstring line(length, L'\0');
        line.resize(length == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, length, &line[0], length));
        lines.push_back(line);
    }
    return lines;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    std::vector<wchar_t> old(32768);
    const DWORD n = GetEnvironmentVariableW(name, old.data(), 32768);
    had_ = n > 0 && n < 32768;
    if (had_) old_.assign(old.data(), n);
    SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

}  // namespace e2e
