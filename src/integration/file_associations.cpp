#include "integration/file_associations.h"

#include <cwchar>
#include <cwctype>

#include "integration/client_contract.h"
#include "win/handles.h"
#include "win/registry.h"

namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";
constexpr wchar_t kContentTypeKey[] = L"Software\\Classes\\MIME\\Database\\Content Type";
constexpr wchar_t kExtensionValue[] = L"Extension";
constexpr wchar_t kUrlProtocolValue[] = L"URL Protocol";
constexpr wchar_t kDefaultIconKey[] = L"DefaultIcon";
constexpr wchar_t kShellKey[] = L"shell";
constexpr wchar_t kShellOpenKey[] = L"shell\\open";
constexpr wchar_t kShellOpenCommandKey[] = L"shell\\open\\command";
constexpr wchar_t kOpenVerb[] = L"open";
constexpr wchar_t kIconIndexSuffix[] = L",0";
constexpr wchar_t kDocumentArgument[] = L" %1";

constexpr REGSAM kKeyAccess = KEY_READ | KEY_WRITE;

LSTATUS CreateKey(HKEY parent, const wchar_t* path, UniqueHkey& key) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, kKeyAccess, nullptr, key.Put(), nullptr);
}

// A REG_SZ value with its terminating zero.
bool SetString(HKEY key, const wchar_t* valueName, const std::wstring& data) {
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          bytes) == ERROR_SUCCESS;
}

// Creates parent\subKey and sets its default value.
bool SetSubKeyDefault(HKEY parent, const wchar_t* subKey, const std::wstring& data) {
    UniqueHkey key;
    if (CreateKey(parent, subKey, key) != ERROR_SUCCESS) return false;
    return SetString(key.Get(), nullptr, data);
}

// RegDeleteKeyExW where advapi32 has it, else RegDeleteKeyW.
LSTATUS DeleteSingleKey(HKEY parent, const wchar_t* subKey) {
    using DeleteKeyExFunction = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    const auto deleteKeyEx =
        advapi == nullptr ? nullptr
                          : reinterpret_cast<DeleteKeyExFunction>(
                                reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
    if (deleteKeyEx != nullptr) return deleteKeyEx(parent, subKey, 0, 0);
    return RegDeleteKeyW(parent, subKey);
}

// Software\Classes\<name>, or a deeper key when name holds separators.
std::wstring ClassesPath(const wchar_t* name) {
    return std::wstring(kClassesKey) + L"\\" + name;
}

std::wstring UrlCommand(const std::wstring& exePath) {
    return L"\"" + exePath + L"\" " + kUrlSchemaWord + L" \"%1\"";
}

// True when the extension's key names a class other than the client's (or a
// default of another type): another program has taken the file type over
// since the install, and its registration is not the client's to delete.
bool ExtensionNamesAnotherClass(HKEY classes) {
    UniqueHkey key;
    if (RegOpenKeyExW(classes, kDocumentExtension, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t data[MAX_PATH + 1] = {};  // one zero beyond what is announced
    DWORD type = REG_NONE;
    DWORD size = MAX_PATH * sizeof(wchar_t);
    const LSTATUS status =
        RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (status == ERROR_FILE_NOT_FOUND) return false;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return true;
    return data[0] != L'\0' && _wcsicmp(data, kDocumentClass) != 0;
}

}  // namespace

bool SetClassesKeyDefault(const wchar_t* keyName, const wchar_t* data) {
    if (keyName == nullptr) return false;
    const std::wstring path = ClassesPath(keyName);
    UniqueHkey key;
    if (CreateKey(HKEY_CURRENT_USER, path.c_str(), key) != ERROR_SUCCESS) return false;
    if (data == nullptr) return false;
    return SetString(key.Get(), nullptr, data);
}

bool RegisterDocumentClass(const std::wstring& exePath) {
    const std::wstring iconKey = std::wstring(kDocumentClass) + L"\\" + kDefaultIconKey;
    const std::wstring commandKey = std::wstring(kDocumentClass) + L"\\" + kShellOpenCommandKey;
    const std::wstring icon = exePath + kIconIndexSuffix;
    const std::wstring command = exePath + kDocumentArgument;
    return SetClassesKeyDefault(kDocumentClass, kDocumentClass) &&
           SetClassesKeyDefault(iconKey.c_str(), icon.c_str()) &&
           SetClassesKeyDefault(commandKey.c_str(), command.c_str()) &&
           SetClassesKeyDefault(kDocumentExtension, kDocumentClass);
}

bool RegisterFileType(const std::wstring& exePath) {
    const std::wstring mimePath = std::wstring(kContentTypeKey) + L"\\" + kDocumentMimeType;
    UniqueHkey mimeKey;
    if (CreateKey(HKEY_CURRENT_USER, mimePath.c_str(), mimeKey) != ERROR_SUCCESS) return false;
    if (!SetString(mimeKey.Get(), kExtensionValue, kDocumentExtension)) return false;
    return RegisterDocumentClass(exePath);
}

bool RegisterUrlScheme(const std::wstring& exePath) {
    UniqueHkey schemeKey;
    if (CreateKey(HKEY_CURRENT_USER, ClassesPath(kUrlScheme).c_str(), schemeKey) != ERROR_SUCCESS)
        return false;
    return SetString(schemeKey.Get(), kUrlProtocolValue, L"") &&
           SetSubKeyDefault(schemeKey.Get(), kDefaultIconKey, exePath + kIconIndexSuffix) &&
           SetSubKeyDefault(schemeKey.Get(), kShellKey, kOpenVerb) &&
           SetSubKeyDefault(schemeKey.Get(), kShellOpenKey, L"") &&
           SetSubKeyDefault(schemeKey.Get(), kShellOpenCommandKey, UrlCommand(exePath));
}

void RemoveDocumentClass() {
    UniqueHkey classes;
    if (CreateKey(HKEY_CURRENT_USER, kClassesKey, classes) != ERROR_SUCCESS) return;
    DeleteRegistryTree(classes.Get(), kDocumentClass);
    // The extension key is a shared place: other programs offer themselves
    // there for the type (OpenWithProgids), and their entries stay.
    if (!ExtensionNamesAnotherClass(classes.Get())) {
        RemoveExtensionEntries(classes.Get(), kDocumentExtension, kDocumentClass);
    }
}

bool UnregisterFileType(const std::wstring& /*exePath*/) {
    RemoveDocumentClass();
    UniqueHkey contentTypes;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kContentTypeKey, 0, kKeyAccess, contentTypes.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return DeleteSingleKey(contentTypes.Get(), kDocumentMimeType) == ERROR_SUCCESS;
}

bool UrlSchemeBelongsToAnotherProgram() {
    UniqueHkey command;
    const std::wstring path = ClassesPath(kUrlScheme) + L"\\" + kShellOpenCommandKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, command.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::wstring text(1024, L'\0');
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(command.Get(), nullptr, nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
    if (text.empty()) return false;
    for (wchar_t& c : text) c = towlower(c);
    std::wstring client = kVuClientExe;
    for (wchar_t& c : client) c = towlower(c);
    return text.find(client) == std::wstring::npos;
}

bool UnregisterUrlScheme(const std::wstring& /*exePath*/) {
    if (UrlSchemeBelongsToAnotherProgram()) return false;
    UniqueHkey classes;
    if (CreateKey(HKEY_CURRENT_USER, kClassesKey, classes) != ERROR_SUCCESS) return false;
    return DeleteRegistryTree(classes.Get(), kUrlScheme) == ERROR_SUCCESS;
}
