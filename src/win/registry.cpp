#include "win/registry.h"

#include "win/handles.h"

namespace {

constexpr wchar_t kOpenWithProgIdsKey[] = L"OpenWithProgids";
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// True when the key holds no value and no subkey.
bool IsEmptyKey(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Deletes parent\name when it holds nothing.
void DeleteKeyIfEmpty(HKEY parent, const wchar_t* name) {
    UniqueHkey key;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    const bool empty = IsEmptyKey(key.Get());
    key.Reset();
    if (empty) RegDeleteKeyW(parent, name);
}

}  // namespace

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

void RemoveExtensionEntries(HKEY parent, const wchar_t* extension, const wchar_t* progId) {
    UniqueHkey key;
    if (RegOpenKeyExW(parent, extension, 0, kReadWrite, key.Put()) != ERROR_SUCCESS) return;
    RegDeleteValueW(key.Get(), nullptr);
    UniqueHkey openWith;
    if (RegOpenKeyExW(key.Get(), kOpenWithProgIdsKey, 0, kReadWrite, openWith.Put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(openWith.Get(), progId);
        openWith.Reset();
        DeleteKeyIfEmpty(key.Get(), kOpenWithProgIdsKey);
    }
    key.Reset();
    DeleteKeyIfEmpty(parent, extension);
}
