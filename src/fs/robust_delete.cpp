#include "fs/robust_delete.h"

#include <windows.h>

#include <string>

#include "logging/last_error.h"
#include "logging/log_write.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr uint32_t kLogFlags = 1;  // error
constexpr uint32_t kWarningFlags = 2;
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
enum class ObjectKind { File, Folder };

// True when nothing exists at path: the path or one of its folders is missing.
// Asked through the long form, so that a path the plain calls cannot reach is
// not taken for a missing one.
bool IsAbsent(const wchar_t* path) {
    if (GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Step 5: the object onto the placeholder's name. A file replaces the empty
// placeholder; a folder cannot replace a file (MOVEFILE_REPLACE_EXISTING does
// not apply to folders), so the placeholder is removed first and the folder
// takes its free name.
bool MoveOntoPlaceholder(const std::wstring& from, const std::wstring& placeholder,
                         ObjectKind kind) {
    if (kind == ObjectKind::File) {
        if (MoveFileExW(from.c_str(), placeholder.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        // The empty placeholder would stay in the temporary folder for good.
        const DWORD error = GetLastError();
        if (!placeholder.empty()) DeleteFileW(placeholder.c_str());
        SetLastError(error);
        return false;
    }
    if (!placeholder.empty() && !DeleteFileW(placeholder.c_str())) return false;
    return MoveFileExW(from.c_str(), placeholder.c_str(), 0) != FALSE;
}

constexpr wchar_t kLinkDeleteFailed[] = L"Failed to delete link \"%s\"\n";

// Steps 2 to 7 of the chain, after the plain deletion has failed (its error is
// still the thread's last error).
bool DeleteThroughTemporaryFolder(const wchar_t* path, ObjectKind kind, WorkingName form,
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

    if (MoveOntoPlaceholder(workingName, placeholder, kind)) {
        workingName = placeholder;
    } else {
        LogWriteLastError(kLogFlags, kLogModule, kLogCode, texts.moveFailed, workingName.c_str(),
                          placeholder.c_str());
    }

    // A link is opened as itself: through it, the delete-on-close would empty
    // and delete the file it points at.
    const HANDLE file = CreateFileW(
        workingName.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
        FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL, nullptr);
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


// A failed plain deletion that found nothing to delete: the object is gone
// already. A missing folder on the way counts too, once the long form confirms
// that nothing is there.
bool FoundNothing(const wchar_t* path) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;
    const bool absent = error == ERROR_PATH_NOT_FOUND && IsAbsent(path);
    SetLastError(error);
    return absent;
}

}  // namespace

bool DeleteFileRobust(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return true;
    if (DeleteFileW(path) || FoundNothing(path)) return true;
    // A folder under the file's name is not the file: the chain would move it,
    // with whatever it holds, into the temporary folder.
    if (IsFolder(path)) {
        LogWrite(kWarningFlags, kLogModule, kLogCode,
                 L"\"%s\" is a folder, not a file; it is left in place\n", path);
        return false;
    }
    return DeleteThroughTemporaryFolder(path, ObjectKind::File,
                                        WorkingName::LongFormWhenUnreachable, kFileTexts);
}

bool RemoveFolderRobust(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return true;
    if (RemoveDirectoryW(path) || FoundNothing(path)) return true;
    return DeleteThroughTemporaryFolder(path, ObjectKind::Folder, WorkingName::AsGiven,
                                        kFolderTexts);
}

bool RemoveLinkRobust(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return true;
    UniqueFileHandle link(CreateFileW(
        path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) {
        if (FoundNothing(path)) return true;
        LogWriteLastError(kLogFlags, kLogModule, kLogCode, kLinkDeleteFailed, path);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(link.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        // The system opened what the link points at, not the link: any
        // deletion or rename through it would reach the target. The link
        // stays where it is.
        SetLastError(ERROR_NOT_SUPPORTED);
        LogWriteLastError(kLogFlags, kLogModule, kLogCode, kLinkDeleteFailed, path);
        return false;
    }
    // The handle is the link's own: deleting through it leaves the target.
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(link.Get(), FileDispositionInfo, &disposition,
                                   sizeof(disposition))) {
        return true;
    }
    LogWriteLastError(kLogFlags, kLogModule, kLogCode, kLinkDeleteFailed, path);
    return false;
}
