#include "cleanup/registry_text.h"

#include <vector>

RegistryText ReadRegistryText(HKEY key, const wchar_t* name, DWORD capacityChars) {
    RegistryText result;
    std::vector<wchar_t> buffer(static_cast<size_t>(capacityChars) + 1, L'\0');
    DWORD bytes = capacityChars * sizeof(wchar_t);
    result.status = RegQueryValueExW(key, name, nullptr, &result.type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (result.status != ERROR_SUCCESS && result.status != ERROR_MORE_DATA) return result;
    result.bytes = bytes;
    if (result.status == ERROR_SUCCESS) {
        const size_t wholeChars = bytes / sizeof(wchar_t);
        result.endsWithNul = wholeChars > 0 && buffer[wholeChars - 1] == L'\0';
        result.text = buffer.data();
    }
    return result;
}
