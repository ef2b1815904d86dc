#include "cleanup/shortcut_lists.h"

#include <shlobj.h>

#include <algorithm>
#include <string>

#include "integration/shell_folders.h"
#include "integration/shell_links.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/wide_format.h"

namespace {

constexpr wchar_t kStartupShortcutName[] = L"HLX Client";
constexpr size_t kStartupShortcutNameChars = 50;  // the name is appended up to this length
constexpr wchar_t kLinkExtension[] = L".lnk";
constexpr wchar_t kShortcutGroupsKey[] = L"Software\\Quellmoor\\Shortcuts";

constexpr uint32_t kStartupLogCode = 18;
constexpr uint32_t kListLogCode = 19;

constexpr DWORD kNameChars = MAX_PATH;  // value and subkey names are enumerated into 260
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr DWORD kRemoveParentsFlag = 1;

// The list value's data as a number: a REG_DWORD read whole, else 0.
DWORD ReadListFlag(HKEY key, const wchar_t* name) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return 0;
    return data;
}

// The lists name the client's shortcut files; anything else a list may name
// (a document, a program) is not the client's to delete.
bool IsShortcutFileName(const wchar_t* name) {
    const std::wstring text = name;
    return text.size() > wcslen(kLinkExtension) && HasLinkExtension(text);
}

// "X:" alone: a drive-relative path naming the drive's current folder.
bool IsBareDrive(const std::wstring& path) {
    return path.size() == 2 && path[1] == L':';
}

// A device path the comparisons cannot place (a volume name, GLOBALROOT):
// which of the user's folders it passes through is unknown.
bool IsUnplacedDevicePath(const std::wstring& path) {
    const std::wstring plain = PlainFullPath(path);
    return plain.starts_with(L"\\\\?\\") || plain.starts_with(L"\\\\.\\");
}

}  // namespace

BOOL RemoveStartupShortcut() {
    // The record is written whatever is known of the path; only the deletion
    // needs the whole path.
    std::wstring path;
    const bool found = GetSpecialFolderPath(path, CSIDL_STARTUP);
    path += L'\\';
    path.append(kStartupShortcutName,
                std::min(wcslen(kStartupShortcutName), kStartupShortcutNameChars));
    path += kLinkExtension;
    LogWriteDefault(LogLevelInfo, kStartupLogCode, L"Cleaning startup shortcut %s.\n",
                    path.c_str());
    if (!found) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (path.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return DeleteFileW(path.c_str());
}

void CleanShortcutList(HKEY root, const wchar_t* listKeyPath) {
    LogWriteDefault(LogLevelInfo, kListLogCode, L"Cleaning old shortcuts: %s.\n",
                    listKeyPath != nullptr ? listKeyPath : L"");
    if (listKeyPath == nullptr || *listKeyPath == L'\0') return;

    UniqueHkey list;
    if (RegOpenKeyExW(root, listKeyPath, 0, kReadWrite, list.Put()) != ERROR_SUCCESS) return;

    DWORD index = 0;
    for (;;) {
        wchar_t file[kNameChars] = {};
        DWORD length = kNameChars;
        const LSTATUS status =
            RegEnumValueW(list.Get(), index, file, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            // A name too long for any plain path: the file is left, and the
            // values after it are still handled.
            LogWriteDefault(LogLevelWarning, kListLogCode,
                            L"A file listed in %s has a name of more than %lu characters; it is "
                            L"left in place.\n",
                            listKeyPath, kNameChars - 1);
            ++index;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        if (!IsShortcutFileName(file)) {
            LogWriteDefault(LogLevelWarning, kListLogCode,
                            L"Listed file %s is not a shortcut; it is left in place.\n", file);
        } else if (ReadListFlag(list.Get(), file) == kRemoveParentsFlag) {
            DeleteFileAndEmptyParents(file);
        } else {
            DeleteFileW(file);
        }
        // The value goes whether or not its file could be deleted.
        if (RegDeleteValueW(list.Get(), file) != ERROR_SUCCESS) ++index;
    }
}

void CleanAllShortcutLists(HKEY root) {
    LogWriteDefault(LogLevelInfo, kListLogCode, L"Cleaning all old shortcuts: %s.\n",
                    kShortcutGroupsKey);
    UniqueHkey groups;
    if (RegOpenKeyExW(root, kShortcutGroupsKey, 0, kReadWrite, groups.Put()) != ERROR_SUCCESS) {
        return;
    }

    DWORD index = 0;
    for (;;) {
        wchar_t group[kNameChars] = {};
        DWORD length = kNameChars;
        if (RegEnumKeyExW(groups.Get(), index, group, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring listPath = FormatWide(L"%s\\%s", kShortcutGroupsKey, group);
        CleanShortcutList(root, listPath.c_str());
        // A group with subkeys of its own cannot be deleted and is passed over.
        if (RegDeleteKeyW(groups.Get(), group) != ERROR_SUCCESS) ++index;
    }
}

void DeleteFileAndEmptyParents(const wchar_t* path) {
    if (path == nullptr) return;
    DeleteFileW(path);
    if (IsUnplacedDevicePath(path)) return;

    // The walk ends below the user's own folders: an emptied Startup, Desktop
    // or Programs folder stays, and so does every folder above one.
    const std::vector<std::wstring> shellFolders = UserShellFolders();
    std::wstring folder(path);
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    for (;;) {
        const size_t cut = folder.rfind(L'\\');
        if (cut == std::wstring::npos) return;
        folder.resize(cut);
        if (folder.empty() || IsBareDrive(folder)) return;
        if (IsShellFolderOrAncestor(folder, shellFolders)) return;
        // A folder link is not the listed file's own folder: removing it
        // would take the link (or, on some systems, its target) away.
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return;
        }
        if (!RemoveDirectoryW(folder.c_str())) return;
    }
}
