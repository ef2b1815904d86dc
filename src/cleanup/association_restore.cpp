#include "cleanup/association_restore.h"

#include <cwchar>
#include <string>

#include "cleanup/registry_text.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/handles.h"
#include "win/registry.h"
#include "win/wide_format.h"

namespace {

constexpr wchar_t kBackupStoreKey[] = L"Software\\Quellmoor\\FileExts";
constexpr wchar_t kBackupKeyFormat[] = L"Software\\Quellmoor\\FileExts\\%s";
constexpr wchar_t kClassesKey[] = L"Software\\Classes";
constexpr wchar_t kClassesExtensionFormat[] = L"Software\\Classes\\%s";
constexpr wchar_t kClientProgIdFormat[] = L"KIVShortCut%s";
constexpr wchar_t kExplorerFileExtsFormat[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s";

constexpr wchar_t kBackupShortCutValue[] = L"KivBackupShortCut";
constexpr wchar_t kBackupProgIdValue[] = L"KivBackupProgid";
constexpr wchar_t kBackupApplicationValue[] = L"KivBackupApplication";
constexpr wchar_t kProgIdValue[] = L"Progid";
constexpr wchar_t kApplicationValue[] = L"Application";

constexpr DWORD kValueChars = MAX_PATH;    // backup values are read into 260 characters
constexpr DWORD kKeyNameChars = MAX_PATH;  // extension names are enumerated into 260
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr uint32_t kRestoreLogCode = 17;

// An extension names a key below Software\Classes and the FileExts keys: a
// dot and at least one more character, no backslash. Any other name is no
// extension but another key of Software\Classes (CLSID, "*", Directory, a
// program's class), or those keys themselves when empty, or a deeper key.
bool IsUsableExtension(const wchar_t* extension) {
    return extension != nullptr && extension[0] == L'.' && extension[1] != L'\0' &&
           wcschr(extension, L'\\') == nullptr;
}

LSTATUS SetStringValue(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The saved default of the extension's Classes key. A value longer than the
// usual buffer is read whole rather than taken as empty: taking it as empty
// would delete the extension's key that the backup means to restore.
RegistryText ReadSavedDefault(HKEY backupKey) {
    RegistryText saved = ReadRegistryText(backupKey, kBackupShortCutValue, kValueChars);
    for (int attempt = 0; attempt < 3 && saved.status == ERROR_MORE_DATA; ++attempt) {
        saved =
            ReadRegistryText(backupKey, kBackupShortCutValue, saved.bytes / sizeof(wchar_t) + 1);
    }
    return saved;
}

// True when a value of the extension's file type is as the client left it:
// missing, empty, or naming the client's own ProgID. Anything else (another
// program's ProgID, a value of another type) was chosen since, and the
// restore, meant to undo the client's change, must not undo that choice.
bool IsUnsetOrTheClients(const RegistryText& current, const wchar_t* extension) {
    if (current.status == ERROR_FILE_NOT_FOUND) return true;
    if (!current.IsString()) return false;
    const std::wstring clientProgId = FormatWide(kClientProgIdFormat, extension);
    return current.text.empty() ||
           CompareStringOrdinal(current.text.c_str(), -1, clientProgId.c_str(), -1, TRUE) ==
               CSTR_EQUAL;
}

// True when the extension's Classes key names another program as its default:
// the user or another program has taken the file type over since the client.
bool IsTakenByAnotherProgram(HKEY root, const wchar_t* extension) {
    UniqueHkey key;
    if (RegOpenKeyExW(root, FormatWide(kClassesExtensionFormat, extension).c_str(), 0, KEY_READ,
                      key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    return !IsUnsetOrTheClients(ReadRegistryText(key.Get(), nullptr, kValueChars), extension);
}

}  // namespace

LSTATUS RestoreAllFileAssociations(HKEY root) {
    UniqueHkey store;
    LSTATUS status = RegOpenKeyExW(root, kBackupStoreKey, 0, kReadWrite, store.Put());
    if (status != ERROR_SUCCESS) return status;

    DWORD index = 0;
    for (;;) {
        wchar_t extension[kKeyNameChars] = {};
        DWORD length = kKeyNameChars;
        if (RegEnumKeyExW(store.Get(), index, extension, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        RestoreFileAssociation(root, extension);
        // A deleted key moves the next one to this index; a key that stays
        // (it has subkeys) is passed over.
        if (RegDeleteKeyW(store.Get(), extension) != ERROR_SUCCESS) ++index;
    }
    return ERROR_SUCCESS;
}

LSTATUS RestoreFileAssociation(HKEY root, const wchar_t* extension) {
    if (!IsUsableExtension(extension)) return ERROR_INVALID_PARAMETER;
    UniqueHkey backup;
    const std::wstring backupPath = FormatWide(kBackupKeyFormat, extension);
    LSTATUS status = RegCreateKeyExW(root, backupPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     kReadWrite, nullptr, backup.Put(), nullptr);
    if (status != ERROR_SUCCESS) return status;

    // The Explorer values are restored whatever the Classes stage gave: the
    // backup key goes after this call, and with it the only copy of them.
    const LSTATUS classes = RestoreClassesAssociation(root, extension, backup.Get());
    const LSTATUS explorer = RestoreExplorerFileExts(extension, backup.Get());
    return classes != ERROR_SUCCESS ? classes : explorer;
}

LSTATUS RestoreClassesAssociation(HKEY root, const wchar_t* extension, HKEY backupKey) {
    if (!IsUsableExtension(extension)) return ERROR_INVALID_PARAMETER;
    const RegistryText saved = ReadSavedDefault(backupKey);
    // No saved value, or an empty string: the extension had no association of
    // its own. A value that is there but cannot be used (another type, an
    // unreadable size) says nothing about it, so its key is left as it is.
    const bool noEarlierAssociation =
        saved.status == ERROR_FILE_NOT_FOUND || (saved.IsString() && saved.text.empty());
    const bool usable = saved.IsString() && !saved.text.empty();
    const std::wstring& savedDefault = saved.text;

    UniqueHkey classes;
    LSTATUS status = RegOpenKeyExW(root, kClassesKey, 0, KEY_ALL_ACCESS, classes.Put());
    if (status != ERROR_SUCCESS) return status;

    if ((noEarlierAssociation || usable) && IsTakenByAnotherProgram(root, extension)) {
        LogWriteDefault(LogLevelInfo, kRestoreLogCode,
                        L"File type %s belongs to another program now; it is left as it is.\n",
                        extension);
    } else if (noEarlierAssociation) {
        // The extension had no association of its own before the client's.
        RemoveExtensionEntries(classes.Get(), extension,
                               FormatWide(kClientProgIdFormat, extension).c_str());
    } else if (usable) {
        UniqueHkey extensionKey;
        const std::wstring extensionPath = FormatWide(kClassesExtensionFormat, extension);
        if (RegCreateKeyExW(root, extensionPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            kReadWrite, nullptr, extensionKey.Put(), nullptr) == ERROR_SUCCESS) {
            SetStringValue(extensionKey.Get(), nullptr, savedDefault);
        }
    }

    const std::wstring progId = FormatWide(kClientProgIdFormat, extension);
    return DeleteRegistryTree(classes.Get(), progId.c_str());
}

LSTATUS RestoreExplorerFileExts(const wchar_t* extension, HKEY backupKey) {
    if (!IsUsableExtension(extension)) return ERROR_INVALID_PARAMETER;
    UniqueHkey explorer;
    const std::wstring explorerPath = FormatWide(kExplorerFileExtsFormat, extension);
    LSTATUS status =
        RegOpenKeyExW(HKEY_CURRENT_USER, explorerPath.c_str(), 0, kReadWrite, explorer.Put());
    if (status != ERROR_SUCCESS) return status;

    const RegistryText progId = ReadRegistryText(backupKey, kBackupProgIdValue, kValueChars);
    if (progId.IsTerminatedString()) {
        // A choice made since the client's is not set back.
        if (IsUnsetOrTheClients(ReadRegistryText(explorer.Get(), kProgIdValue, kValueChars),
                                extension)) {
            status = SetStringValue(explorer.Get(), kProgIdValue, progId.text);
            if (status != ERROR_SUCCESS) return status;
        }
        status = RegDeleteValueW(backupKey, kBackupProgIdValue);
        if (status != ERROR_SUCCESS) return status;
    }

    const RegistryText application =
        ReadRegistryText(backupKey, kBackupApplicationValue, kValueChars);
    if (application.status != ERROR_SUCCESS) return application.status;
    if (!application.IsTerminatedString()) return ERROR_INVALID_DATA;
    status = SetStringValue(explorer.Get(), kApplicationValue, application.text);
    if (status != ERROR_SUCCESS) return status;
    return RegDeleteValueW(backupKey, kBackupApplicationValue);
}
