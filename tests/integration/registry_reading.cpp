#include "integration/registry_reading.h"

namespace registry_reading {

StoredValue ReadValue(HKEY root, const std::wstring& path, const wchar_t* name) {
    StoredValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.status = RegQueryValueExW(key, name, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

std::vector<BYTE> StringBytes(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

KeyCounts CountKeyContents(HKEY root, const std::wstring& path) {
    KeyCounts counts;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return counts;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        counts.values = static_cast<long>(values);
        counts.subKeys = static_cast<long>(subKeys);
    }
    RegCloseKey(key);
    return counts;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool WriteString(HKEY root, const std::wstring& path, const wchar_t* name,
                 const std::wstring& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace registry_reading
