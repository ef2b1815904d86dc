#include "win/registry.h"

#include "win/handles.h"

LSTATUS DeleteRegistryTree(HKEY parent, const wchar_t* subKey) {
    {
        UniqueHkey key;
        LSTATUS status = RegOpenKeyExW(parent, subKey, 0, KEY_READ | KEY_WRITE, key.Put());
        if (status != ERROR_SUCCESS) return status;
        for (;;) {
            wchar_t child[256];
            DWORD childLength = ARRAYSIZE(child);
            status = RegEnumKeyExW(key.Get(), 0, child, &childLength, nullptr, nullptr, nullptr,
                                   nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = DeleteRegistryTree(key.Get(), child);
            if (status != ERROR_SUCCESS) return status;
        }
    }
    return RegDeleteKeyW(parent, subKey);
}
