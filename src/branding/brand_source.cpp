#include "branding/brand_source.h"

#include <shlwapi.h>
#include <windows.h>

#include <vector>

#include "app/locations/install_locations.h"
#include "branding/brand_settings.h"
#include "fs/folder_tree.h"
#include "fs/join_path.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr wchar_t kSetupKey[] = L"Software\\Quellmoor\\DeskHubClient\\Setup";
constexpr wchar_t kBrandFileLocationValue[] = L"BrandFileLocation";
constexpr DWORD kLocationChars = 1024;
// A brand's copy beside the folder it is to replace, until it takes its place.
constexpr wchar_t kStagedBrandSuffix[] = L".new";

std::wstring FullPath(const std::wstring& path) {
    std::wstring full = FullPathName(path);
    return full.empty() ? path : full;
}

}  // namespace

std::wstring ReadBrandFileLocation() {
    UniqueHkey setup;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSetupKey, 0, KEY_READ, setup.Put()) != ERROR_SUCCESS) {
        return {};
    }
    // The value is read into 1024 characters; a longer path is read whole
    // rather than taken for no archive, so that it is still tried and consumed.
    DWORD capacity = kLocationChars;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<wchar_t> buffer(static_cast<size_t>(capacity) + 1, L'\0');
        DWORD type = REG_NONE;
        DWORD bytes = capacity * sizeof(wchar_t);
        const LSTATUS status =
            RegQueryValueExW(setup.Get(), kBrandFileLocationValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status == ERROR_MORE_DATA) {
            capacity = bytes / sizeof(wchar_t) + 1;
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
        return std::wstring(buffer.data());
    }
    return {};
}

bool IsBrandFileLocationSet() {
    UniqueHkey setup;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSetupKey, 0, KEY_READ, setup.Put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    if (RegQueryValueExW(setup.Get(), kBrandFileLocationValue, nullptr, &type, nullptr,
                         nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return (type != REG_SZ && type != REG_EXPAND_SZ) || !ReadBrandFileLocation().empty();
}

bool CarryOverInstalledBrand() {
    if (IsBrandFileLocationSet()) return true;  // the archive supplies the brand

    const std::wstring installed = GetInstallFolder() + L"\\" + kBrandingFolderName;
    if (!PathExists(installed + L"\\" + kBrandIniName)) return true;

    const std::wstring installerFolder = GetInstallerFolder();
    if (installerFolder.empty()) return true;  // "\Branding" would be the drive's root
    const std::wstring beside = installerFolder + L"\\" + kBrandingFolderName;
    // Run from the install folder itself, the two are one folder: deleting the
    // one would lose the brand that is to be kept.
    if (_wcsicmp(FullPath(beside).c_str(), FullPath(installed).c_str()) == 0) return true;

    if (CopyBrandInPlaceOf(installed, beside) == BrandCopy::Placed) return true;
    LogWriteDefault(LogLevelError, kBrandLogCode,
                    L"The installed brand %s cannot be carried over to %s; nothing is deleted or "
                    L"installed\n",
                    installed.c_str(), beside.c_str());
    return false;
}

BrandCopy CopyBrandInPlaceOf(const std::wstring& source, const std::wstring& destination) {
    const std::wstring staged = destination + kStagedBrandSuffix;
    DeleteFolderTree(staged.c_str());
    if (!CopyFolderTree(source.c_str(), staged.c_str())) {
        DeleteFolderTree(staged.c_str());
        return BrandCopy::NotCopied;
    }
    DeleteFolderTree(destination.c_str());
    if (MoveFileExW(staged.c_str(), destination.c_str(), 0)) return BrandCopy::Placed;
    const DWORD error = GetLastError();
    DeleteFolderTree(staged.c_str());
    SetLastError(error);
    return BrandCopy::NotPlaced;
}

void ClearBrandFileLocation() {
    UniqueHkey setup;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSetupKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, setup.Put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(setup.Get(), kBrandFileLocationValue);
}

void RemoveInstalledBrand(const std::wstring& installFolder) {
    if (installFolder.empty()) return;
    if (!PathExists(JoinPath(installFolder, kInstalledBrandIni))) return;
    DeleteFolderTree(JoinPath(installFolder, kBrandingFolderName).c_str());
}
