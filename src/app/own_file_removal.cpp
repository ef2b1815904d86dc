#include "app/own_file_removal.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "logging/last_error.h"
#include "win/full_path.h"

namespace {

// The helper's instructions, in its environment only, one item a line: the
// parent process handle, volume and file index in hex; the uninstaller's
// path; the temporary folder; the install folder (may be empty).
constexpr wchar_t kHelperVariable[] = L"N4UninstallerOwnFileRemoval";
constexpr DWORD kParentWaitMs = 120000;
constexpr DWORD kDeleteRetryMs = 30000;
constexpr DWORD kRetryPauseMs = 100;
constexpr wchar_t kRemovalFailed[] = L"Failed to start the removal of \"%s\"\n";

std::wstring OwnModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

std::wstring TemporaryFileIn(const std::wstring& folder) {
    wchar_t name[MAX_PATH] = {};
    if (folder.empty() || folder.size() >= MAX_PATH - 14 ||
        GetTempFileNameW(folder.c_str(), L"tpd", 0, name) == 0) {
        return {};
    }
    return name;
}

std::wstring TemporaryFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

std::wstring ParentFolder(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool ReadIdentity(const std::wstring& path, DWORD& volume, ULONGLONG& index) {
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// Where the uninstaller's file may be now: its own name, a "tpd*.tmp" file
// of the temporary folder, or its own name inside a "tpd*.tmp" folder there.
std::vector<std::wstring> Candidates(const std::wstring& ownPath, const std::wstring& tempFolder) {
    std::vector<std::wstring> candidates = {ownPath};
    if (tempFolder.empty()) return candidates;
    const std::wstring folder =
        tempFolder.back() == L'\\' ? tempFolder.substr(0, tempFolder.size() - 1) : tempFolder;
    const std::wstring ownName = ownPath.substr(ownPath.find_last_of(L"\\/") + 1);
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\tpd*.tmp").c_str(), &found));
    if (!find) return candidates;
    do {
        const std::wstring path = folder + L"\\" + found.cFileName;
        candidates.push_back((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                                 ? path + L"\\" + ownName
                                 : path);
    } while (FindNextFileW(find.Get(), &found));
    return candidates;
}

// Deletes the file of that identity among the candidates. True when it is
// gone (deleted now, or found nowhere).
bool DeleteByIdentity(const std::wstring& ownPath, const std::wstring& tempFolder, DWORD volume,
                      ULONGLONG index) {
    for (const std::wstring& candidate : Candidates(ownPath, tempFolder)) {
        DWORD candidateVolume = 0;
        ULONGLONG candidateIndex = 0;
        if (!ReadIdentity(candidate, candidateVolume, candidateIndex) ||
            candidateVolume != volume || candidateIndex != index) {
            continue;
        }
        if (!DeleteFileW(candidate.c_str())) return false;
        // A placeholder folder that held only the uninstaller goes with it.
        if (candidate != ownPath) {
            const std::wstring parent = ParentFolder(candidate);
            if (IsSameOrInsideFolder(parent, tempFolder) &&
                !IsSameOrInsideFolder(tempFolder, parent)) {
                RemoveDirectoryW(parent.c_str());
            }
        }
        return true;
    }
    return true;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The running uninstaller's file cannot be deleted, but it can be renamed
// within its volume: moved to a placeholder of the temporary folder, where the
// helper looks for it, it is not met by the install folder's deletion, which
// would log each step of its robust deletion as a failure. Left where it is
// when the move fails (another volume): the deletion then moves it aside.
void MoveOutOfInstallFolder(OwnFileRemoval& removal) {
    const std::wstring placeholder = TemporaryFileIn(removal.tempFolder);
    if (placeholder.empty()) return;
    if (MoveFileExW(removal.ownPath.c_str(), placeholder.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        removal.movedTo = placeholder;
    } else {
        DeleteFileW(placeholder.c_str());
    }
}

}  // namespace

OwnFileRemoval PrepareOwnFileRemoval(const std::wstring& installFolder) {
    OwnFileRemoval removal;
    const std::wstring own = OwnModulePath();
    if (own.empty() || !IsSameOrInsideFolder(ParentFolder(own), installFolder) ||
        !ReadIdentity(own, removal.volume, removal.fileIndex)) {
        return removal;
    }
    removal.tempFolder = TemporaryFolder();
    for (const std::wstring& folder : {removal.tempFolder, ParentFolder(installFolder)}) {
        const std::wstring copy = TemporaryFileIn(folder);
        if (copy.empty()) continue;
        if (CopyFileW(own.c_str(), copy.c_str(), FALSE)) {
            // From here the copy goes when the last handle to it closes: the
            // helper's when it ends, or this one when the uninstall ends
            // before it starts the helper. Delete access only, so that the
            // system can still load the copy.
            SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
            removal.helper.Reset(CreateFileW(copy.c_str(), DELETE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             &inherit, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
                                             nullptr));
            if (removal.helper) {
                removal.helperPath = copy;
                break;
            }
        }
        DeleteFileW(copy.c_str());
    }
    removal.ownPath = own;
    removal.installFolder = installFolder;
    if (removal.helper) MoveOutOfInstallFolder(removal);
    return removal;
}

void StartOwnFileRemoval(OwnFileRemoval& removal) {
    if (!removal.helper) return;
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE, TRUE, 0)) {
        LogWriteLastError(1, 0, 105, kRemovalFailed, removal.ownPath.c_str());
        return;
    }
    UniqueHandle parent(self);
    wchar_t numbers[80];
    _snwprintf(numbers, 80, L"%llx %lx %llx",
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(parent.Get())),
               static_cast<unsigned long>(removal.volume), removal.fileIndex);
    numbers[79] = L'\0';
    const std::wstring instructions = std::wstring(numbers) + L"\n" + removal.ownPath + L"\n" +
                                      removal.tempFolder + L"\n" + removal.installFolder;
    SetEnvironmentVariableW(kHelperVariable, instructions.c_str());

    // Started in the system folder, so that its current folder holds nothing
    // it is to remove.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring commandLine = L"\"" + removal.helperPath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(removal.helperPath.c_str(), commandLine.data(), nullptr,
                                        nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        system[0] != L'\0' ? system : nullptr, &startup, &process);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(kHelperVariable, nullptr);
    if (!started) {
        SetLastError(error);
        LogWriteLastError(1, 0, 105, kRemovalFailed, removal.ownPath.c_str());
        // As the robust deletion would have left it: for the next restart.
        if (!removal.movedTo.empty()) {
            MoveFileExW(removal.movedTo.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool RunOwnFileRemovalWhenAsked() {
    const DWORD size = GetEnvironmentVariableW(kHelperVariable, nullptr, 0);
    if (size == 0) return false;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(kHelperVariable, value.data(), size));
    SetEnvironmentVariableW(kHelperVariable, nullptr);
    const std::vector<std::wstring> lines = SplitLines(value);
    if (lines.size() != 4) return true;
    wchar_t* rest = nullptr;
    const auto parent =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(lines[0].c_str(), &rest, 16)));
    const auto volume = static_cast<DWORD>(wcstoul(rest, &rest, 16));
    const ULONGLONG index = wcstoull(rest, &rest, 16);
    const std::wstring& ownPath = lines[1];
    const std::wstring& tempFolder = lines[2];
    const std::wstring& installFolder = lines[3];

    if (WaitForSingleObject(parent, kParentWaitMs) != WAIT_OBJECT_0) return true;
    // The system may release the ended process's file a moment later.
    for (DWORD waited = 0; !DeleteByIdentity(ownPath, tempFolder, volume, index) &&
                           waited < kDeleteRetryMs;
         waited += kRetryPauseMs) {
        Sleep(kRetryPauseMs);
    }
    // Left behind only when the uninstaller's file was all it still held. (An
    // upgrade passes no folder: the install that follows fills it again.)
    if (!installFolder.empty()) RemoveDirectoryW(ExtendedLengthPath(installFolder).c_str());
    return true;
}
