#include "app/own_file_removal.h"

#include <windows.h>

#include <cwchar>

#include "logging/last_error.h"
#include "win/full_path.h"

namespace {

// The helper's instructions, in its environment only: "<process> <file>" as
// handle values in hex, then the install folder.
constexpr wchar_t kHelperVariable[] = L"N4UninstallerOwnFileRemoval";
constexpr DWORD kParentWaitMs = 120000;
constexpr DWORD kDeleteRetryMs = 30000;
constexpr DWORD kRetryPauseMs = 100;

std::wstring OwnModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
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

std::wstring ParentFolder(const std::wstring& folder) {
    const size_t separator = folder.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : folder.substr(0, separator);
}

HANDLE OpenInheritable(const std::wstring& path, DWORD access, DWORD flags) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, OPEN_EXISTING, flags, nullptr);
}

}  // namespace

OwnFileRemoval PrepareOwnFileRemoval(const std::wstring& installFolder) {
    OwnFileRemoval removal;
    const std::wstring own = OwnModulePath();
    if (own.empty() || !IsSameOrInsideFolder(ParentFolder(own), installFolder)) return removal;
    // Delete access only: the deletion steps that run meanwhile may still
    // open, rename and mark the file as they would without this handle.
    removal.image.Reset(OpenInheritable(own, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, 0));
    if (!removal.image) return removal;

    for (const std::wstring& folder : {TemporaryFolder(), ParentFolder(installFolder)}) {
        const std::wstring copy = TemporaryFileIn(folder);
        if (copy.empty()) continue;
        if (CopyFileW(own.c_str(), copy.c_str(), FALSE)) {
            // From here the copy goes when the last handle to it closes: this
            // one, or the helper's when it ends, or this one when the uninstall
            // is ended before it starts the helper.
            removal.helper.Reset(OpenInheritable(copy, DELETE, FILE_FLAG_DELETE_ON_CLOSE));
            if (removal.helper) {
                removal.helperPath = copy;
                break;
            }
        }
        DeleteFileW(copy.c_str());
    }
    if (!removal.helper) removal.image.Reset();
    removal.installFolder = installFolder;
    return removal;
}

void StartOwnFileRemoval(OwnFileRemoval& removal) {
    if (!removal.image || !removal.helper) return;
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE, TRUE, 0)) {
        LogWriteLastError(1, 0, 105, L"Failed to start the removal of \"%s\"\n",
                          removal.helperPath.c_str());
        return;
    }
    UniqueHandle parent(self);
    wchar_t handles[64];
    _snwprintf(handles, 64, L"%llx %llx ", static_cast<unsigned long long>(
                   reinterpret_cast<uintptr_t>(parent.Get())),
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(removal.image.Get())));
    handles[63] = L'\0';
    const std::wstring instructions = handles + removal.installFolder;
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
        LogWriteLastError(1, 0, 105, L"Failed to start the removal of \"%s\"\n",
                          removal.helperPath.c_str());
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool RunOwnFileRemovalWhenAsked() {
    wchar_t value[32 * 1024];
    const DWORD length = GetEnvironmentVariableW(kHelperVariable, value, 32 * 1024);
    if (length == 0 || length >= 32 * 1024) return false;
    SetEnvironmentVariableW(kHelperVariable, nullptr);
    wchar_t* rest = value;
    const auto parent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(rest, &rest, 16)));
    const auto image = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(rest, &rest, 16)));
    if (*rest != L' ') return true;
    const std::wstring installFolder(rest + 1);

    if (WaitForSingleObject(parent, kParentWaitMs) != WAIT_OBJECT_0) return true;
    // The system may release the ended process's file a moment later.
    FILE_DISPOSITION_INFO disposition{TRUE};
    for (DWORD waited = 0; waited < kDeleteRetryMs; waited += kRetryPauseMs) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(image, &info) || info.nNumberOfLinks == 0 ||
            SetFileInformationByHandle(image, FileDispositionInfo, &disposition,
                                       sizeof(disposition))) {
            break;
        }
        Sleep(kRetryPauseMs);
    }
    CloseHandle(image);
    // Left behind only when the uninstaller's file was all it still held. (An
    // upgrade passes no folder: the install that follows fills it again.)
    if (!installFolder.empty()) RemoveDirectoryW(installFolder.c_str());
    return true;
}
