#include "cleanup/registry_and_shell_helpers.h"

namespace cleanup_testing {

namespace {

constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

void SetRawValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                 const void* data, DWORD bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
}

void SetStringValue(HKEY root, const std::wstring& path, const wchar_t* name,
                    const std::wstring& text) {
    SetRawValue(root, path, name, REG_SZ, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetDwordValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
    SetRawValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void CreateKey(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name) {
    return RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& path,
                                            const wchar_t* name) {
    std::vector<wchar_t> buffer(4096, L'\0');
    DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, buffer.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer.data());
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = ARRAYSIZE(name);
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

ShellFolderRedirect::ShellFolderRedirect(const wchar_t* valueName, const std::wstring& folder)
    : name_(valueName) {
    for (const wchar_t* keyPath : {kUserShellFolders, kShellFolders}) {
        Saved saved;
        saved.keyPath = keyPath;
        DWORD bytes = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, keyPath, valueName, RRF_RT_ANY | RRF_NOEXPAND,
                         &saved.type, nullptr, &bytes) == ERROR_SUCCESS) {
            saved.data.resize(bytes);
            saved.present =
                RegGetValueW(HKEY_CURRENT_USER, keyPath, valueName, RRF_RT_ANY | RRF_NOEXPAND,
                             &saved.type, saved.data.data(), &bytes) == ERROR_SUCCESS;
            saved.data.resize(bytes);
        }
        saved_.push_back(std::move(saved));
    }
    SetStringValue(HKEY_CURRENT_USER, kUserShellFolders, valueName, folder);
    SetStringValue(HKEY_CURRENT_USER, kShellFolders, valueName, folder);
}

ShellFolderRedirect::~ShellFolderRedirect() {
    for (const Saved& saved : saved_) {
        if (saved.present) {
            SetRawValue(HKEY_CURRENT_USER, saved.keyPath, name_.c_str(), saved.type,
                        saved.data.data(), static_cast<DWORD>(saved.data.size()));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, saved.keyPath.c_str(), name_.c_str());
        }
    }
}

}  // namespace cleanup_testing
