#include "integration/shell_folders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "win/full_path.h"

namespace {

const KNOWNFOLDERID* const kShellFolderIds[] = {
    &FOLDERID_Profile,
    &FOLDERID_UserProfiles,
    &FOLDERID_Public,
    &FOLDERID_RoamingAppData,
    &FOLDERID_LocalAppData,
    &FOLDERID_LocalAppDataLow,
    &FOLDERID_Desktop,
    &FOLDERID_PublicDesktop,
    &FOLDERID_Documents,
    &FOLDERID_PublicDocuments,
    &FOLDERID_Downloads,
    &FOLDERID_PublicDownloads,
    &FOLDERID_Pictures,
    &FOLDERID_PublicPictures,
    &FOLDERID_Music,
    &FOLDERID_PublicMusic,
    &FOLDERID_Videos,
    &FOLDERID_PublicVideos,
    &FOLDERID_Favorites,
    &FOLDERID_Links,
    &FOLDERID_SavedGames,
    &FOLDERID_Contacts,
    &FOLDERID_SavedSearches,
    &FOLDERID_Objects3D,
    &FOLDERID_SkyDrive,
    &FOLDERID_CameraRoll,
    &FOLDERID_Screenshots,
    &FOLDERID_Templates,
    &FOLDERID_SendTo,
    &FOLDERID_Recent,
    &FOLDERID_StartMenu,
    &FOLDERID_CommonStartMenu,
    &FOLDERID_Programs,
    &FOLDERID_CommonPrograms,
    &FOLDERID_Startup,
    &FOLDERID_CommonStartup,
    &FOLDERID_UserProgramFiles,
    &FOLDERID_Windows,
    &FOLDERID_System,
    &FOLDERID_SystemX86,
    &FOLDERID_Fonts,
    &FOLDERID_ProgramFiles,
    &FOLDERID_ProgramFilesX86,
    &FOLDERID_ProgramFilesCommon,
    &FOLDERID_ProgramFilesCommonX86,
    &FOLDERID_ProgramData,
};

// Environment variables that name the same folders as this process sees them;
// the installer itself takes %APPDATA% from the environment.
const wchar_t* const kShellFolderVariables[] = {
    L"USERPROFILE",
    L"APPDATA",
    L"LOCALAPPDATA",
    L"OneDrive",
    L"OneDriveConsumer",
    L"OneDriveCommercial",
    L"PUBLIC",
    L"SystemRoot",
    L"ProgramFiles",
    L"ProgramFiles(x86)",
    L"ProgramW6432",
    L"CommonProgramFiles",
    L"CommonProgramFiles(x86)",
    L"ProgramData",
    L"ALLUSERSPROFILE",
};
const wchar_t* const kTemporaryFolderVariables[] = {L"TEMP", L"TMP"};

void AddKnownFolder(std::vector<std::wstring>& folders, const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) &&
        path != nullptr && *path != L'\0') {
        folders.emplace_back(path);
    }
    CoTaskMemFree(path);
}

void AddVariable(std::vector<std::wstring>& folders, const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed <= 1) return;
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
    if (length == 0 || length >= needed) return;
    value.resize(length);
    // A relative value names no folder of its own: comparing its full form
    // would take the current folder for it.
    if (!IsAbsolutePath(value)) return;
    folders.push_back(std::move(value));
}

void AddTemporaryFolder(std::vector<std::wstring>& folders) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length > 0 && length <= MAX_PATH) folders.emplace_back(temp, length);
}

}  // namespace

std::vector<std::wstring> UserShellFolders(bool withTemporaryFolder) {
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID* id : kShellFolderIds) AddKnownFolder(folders, *id);
    for (const wchar_t* name : kShellFolderVariables) AddVariable(folders, name);
    if (withTemporaryFolder) {
        for (const wchar_t* name : kTemporaryFolderVariables) AddVariable(folders, name);
        AddTemporaryFolder(folders);
    }
    std::vector<std::wstring> full;
    for (const std::wstring& folder : folders) {
        std::wstring plain = PlainFullPath(folder);
        if (plain.empty()) continue;
        // The environment repeats several known folders.
        const bool repeated = std::any_of(full.begin(), full.end(), [&](const std::wstring& f) {
            return CompareStringOrdinal(f.c_str(), -1, plain.c_str(), -1, TRUE) == CSTR_EQUAL;
        });
        if (!repeated) full.push_back(std::move(plain));
    }
    return full;
}

bool IsShellFolderOrAncestor(const std::wstring& folder) {
    return IsShellFolderOrAncestor(folder, UserShellFolders());
}

bool IsShellFolderOrAncestor(const std::wstring& folder,
                             const std::vector<std::wstring>& shellFolders) {
    const std::wstring outer = ComparableFolderPath(folder);
    if (outer.empty()) return true;
    const size_t depth = FolderPathPieces(outer).size();
    if (depth == 0) return true;
    // A shell folder is folder or lies below it when its first pieces, as many
    // as folder has, name folder. Those leading parts are few and shared by
    // many shell folders, so each is resolved to long names once; resolving
    // every shell folder whole costs a lookup per piece of each.
    std::vector<std::wstring> resolved;
    for (const std::wstring& shellFolder : shellFolders) {
        const std::wstring leading = JoinFolderPathPieces(FolderPathPieces(shellFolder), depth - 1);
        if (leading.empty()) continue;
        const bool done = std::any_of(resolved.begin(), resolved.end(), [&](const std::wstring& r) {
            return CompareStringOrdinal(r.c_str(), -1, leading.c_str(), -1, TRUE) == CSTR_EQUAL;
        });
        if (done) continue;
        resolved.push_back(leading);
        if (IsSameFolderComparable(ComparableFolderPath(leading), outer)) return true;
    }
    return false;
}
