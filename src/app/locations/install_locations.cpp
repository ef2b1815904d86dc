#include "app/locations/install_locations.h"

#include <windows.h>

#include <vector>

#include "win/full_path.h"

namespace {

// The variable is read into a buffer of 260 characters, as the rest of the
// system expects a MAX_PATH-sized folder; a longer value counts as unusable.
constexpr DWORD kAppDataChars = MAX_PATH;

}  // namespace

std::wstring GetRoamingAppDataFolder() {
    wchar_t value[kAppDataChars] = {};
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", value, kAppDataChars);
    if (length == 0 || length >= kAppDataChars) return {};

    // One spelling for every path built on the folder (registry values, link
    // targets, the comparisons that find the links again): an absolute value
    // in its plain full form, with backslashes only and no trailing or doubled
    // separator ("C:/Users/x/AppData/Roaming/" is read as
    // "C:\Users\x\AppData\Roaming"). A relative value stays as written, to be
    // refused as it stands.
    std::wstring folder(value, length);
    if (IsAbsolutePath(folder)) {
        std::wstring plain = PlainFullPath(folder);
        if (!plain.empty()) folder = std::move(plain);
    }

    // The long form may be longer than the short one; let the buffer grow.
    std::vector<wchar_t> longForm(folder.size() + MAX_PATH);
    DWORD needed =
        GetLongPathNameW(folder.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (needed > longForm.size()) {
        longForm.resize(needed);
        needed =
            GetLongPathNameW(folder.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    }
    if (needed == 0 || needed >= longForm.size()) return {};
    return std::wstring(longForm.data(), needed);
}

std::wstring GetInstallFolder() {
    return GetRoamingAppDataFolder() + kInstallFolderName;
}

std::wstring GetClientDataFolder() {
    return GetRoamingAppDataFolder() + kClientDataFolderName;
}

std::wstring FolderOfModulePath(const std::wstring& modulePath) {
    const size_t cut = modulePath.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return {};
    return modulePath.substr(0, cut);
}

std::wstring GetInstallerFolder() {
    // Grow the buffer until the whole module path fits: a long path is never cut.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return FolderOfModulePath(std::wstring(path.data(), length));
        path.resize(path.size() * 2);
    }
}

bool IsUsableRoamingFolder(const std::wstring& folder) {
    if (!IsAbsolutePath(folder)) return false;
    const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
