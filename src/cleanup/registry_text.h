#pragma once
// Reading string values of the client's registry data into bounded buffers.

#include <windows.h>

#include <string>

// What one RegQueryValueExW call gave for a value read into a zero-filled
// buffer of a fixed number of wide characters.
struct RegistryText {
    LSTATUS status = ERROR_FILE_NOT_FOUND;  // the query's result
    DWORD type = REG_NONE;                  // the stored type (on success)
    DWORD bytes = 0;  // the stored size (on success, or the size needed on ERROR_MORE_DATA)
    bool endsWithNul = false;  // on success: the data's last whole character is a NUL
    std::wstring text;         // on success: the data up to its first NUL; else empty

    // Read successfully as REG_SZ or REG_EXPAND_SZ.
    bool IsString() const {
        return status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
    }
    // A string whose data is zero bytes, or an even number of bytes ending in a NUL.
    bool IsTerminatedString() const {
        return IsString() && (bytes == 0 || (bytes % sizeof(wchar_t) == 0 && endsWithNul));
    }
};

// Queries the value name of key with a data size of capacityChars * 2 bytes.
// The buffer holds one zero character more than it announces, so the text is
// terminated whatever the stored data holds. A missing value gives
// ERROR_FILE_NOT_FOUND, a longer one ERROR_MORE_DATA, both with an empty text.
RegistryText ReadRegistryText(HKEY key, const wchar_t* name, DWORD capacityChars);
