#include "fs/robust_delete.h"

#include <windows.h>

#include <string>

#include "logging/last_error.h"

namespace {

constexpr uint32_t kLogFlags = 1;  // error
constexpr unsigned kLogModule = 0;
constexpr uint32_t kLogCode = 105;

constexpr wchar_t kPlaceholderPrefix[] = L"tpd";
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
// GetTempPathW is given less than MAX_PATH so that GetTempFileNameW's name
// (folder + "tpdXXXX.tmp") always fits its MAX_PATH buffer.
constexpr DWORD kTempPathChars = 246;

struct DeletionTexts {
    const wchar_t* deleteFailed;
    const wchar_t* moveFailed;
    const wchar_t* closeMarkFailed;
    const wchar_t* rebootMarkFailed;
};

constexpr DeletionTexts kFileTexts = {
    L"Failed to delete file \"%s\"\n",
    L"Failed to move file \"%s\" to temp \"%s\"\n",
    L"Failed to mark file for deletion \"%s\" on close\n",
    L"Failed to mark file for deletion \"%s\" on reboot\n",
};

constexpr DeletionTexts kFolderTexts = {
    L"Failed to delete folder \"%s\"\n",
    L"Failed to move folder \"%s\" to temp \"%s\"\n",
    L"Failed to mark folder for deletion \"%s\" on close\n",
    L"Failed to mark folder \"%s\" for deletion on reboot\n",
};

// A fresh empty file in the temporary folder whose name starts with "tpd", or
// an empty name when the temporary folder is too long or cannot take one.
std::wstring MakePlaceholder() {
    wchar_t tempFolder[MAX_PATH] = {};
    const DWORD length = GetTempPathW(kTempPathChars, tempFolder);
    if (length == 0 || length >= kTempPathChars) return {};
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(tempFolder, kPlaceholderPrefix, 0, name) == 0) return {};
    return name;
}

bool HasLongPathPrefix(const std::wstring& path) {
    return path.starts_with(kLongPathPrefix);
}

enum class WorkingName { AsGiven, LongFormWhenUnreachable };

// Steps 2 to 7 of the chain, after the plain deletion has failed (its error is
// still the thread's last error).
bool DeleteThroughTemporaryFolder(const wchar_t* path, WorkingName form,
                                  const DeletionTexts& texts) {
    LogWriteLastError(kLogFlags, kLogModule, kLogCode, texts.deleteFailed, path);

    const std::wstring placeholder = MakePlaceholder();

    // A path the plain calls cannot reach as given (too long, say) may still be
    // reachable in the long-path form.
    std::wstring workingName(path);
    if (form == WorkingName::LongFormWhenUnreachable &&
        GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && !HasLongPathPrefix(workingName)) {
        workingName.insert(0, kLongPathPrefix);
    }

    if (MoveFileExW(workingName.c_str(), placeholder.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        workingName = placeholder;
    } else {
        LogWriteLastError(kLogFlags, kLogModule, kLogCode, texts.moveFailed, workingName.c_str(),
                          placeholder.c_str());
    }

    const HANDLE file =
        CreateFileW(workingName.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                    FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    } else {
        LogWriteLastError(kLogFlags, kLogModule, kLogCode, texts.closeMarkFailed,
                          workingName.c_str());
    }

    if (MoveFileExW(workingName.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ||
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    LogWriteLastError(kLogFlags, kLogModule, kLogCode, texts.rebootMarkFailed, workingName.c_str());
    return false;
}

}  // namespace

bool DeleteFileRobust(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return true;
    if (DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return DeleteThroughTemporaryFolder(path, WorkingName::LongFormWhenUnreachable, kFileTexts);
}

bool RemoveFolderRobust(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return true;
    if (RemoveDirectoryW(path) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return DeleteThroughTemporaryFolder(path, WorkingName::AsGiven, kFolderTexts);
}
