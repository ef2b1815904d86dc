#pragma once
// Reading registry contents back in tests, value by value.

#include <windows.h>

#include <string>
#include <vector>

namespace registry_reading {

// One value as stored: its type and its raw bytes.
struct StoredValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;  // ERROR_SUCCESS when the value exists
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

// The value name (nullptr: the default value) of root\path.
StoredValue ReadValue(HKEY root, const std::wstring& path, const wchar_t* name);

// The bytes of a REG_SZ value as written with its terminating zero.
std::vector<BYTE> StringBytes(const std::wstring& text);

// The number of values and of sub-keys of root\path; -1 each when it is missing.
struct KeyCounts {
    long values = -1;
    long subKeys = -1;
};
KeyCounts CountKeyContents(HKEY root, const std::wstring& path);

bool KeyExists(HKEY root, const std::wstring& path);

// Creates root\path and sets a REG_SZ value in it (nullptr name: the default).
bool WriteString(HKEY root, const std::wstring& path, const wchar_t* name,
                 const std::wstring& data);

}  // namespace registry_reading
