#include "branding/brand_links.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>

#include "app/locations/install_locations.h"
#include "branding/brand_settings.h"
#include "branding/brand_source.h"
#include "fs/folder_tree.h"
#include "fs/join_path.h"
#include "integration/client_contract.h"
#include "integration/shell_folders.h"
#include "integration/shell_links.h"
#include "logging/last_error.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/full_path.h"
#include "win/wide_format.h"
#include "zip/zip_archive.h"

namespace {

constexpr wchar_t kProgramsSubfolder[] = L"Client\\";
constexpr wchar_t kUninstallLinkName[] = L"Uninstall";

// A brand archive that gives no brand is told, not only skipped: the install
// goes on with the brand it has.
void LogArchiveSkipped(const std::wstring& archivePath, const wchar_t* why) {
    LogWriteDefault(LogLevelWarning, kBrandLogCode,
                    L"Brand archive %s %s; the brand stays as it was and no desktop link is "
                    L"made\n",
                    archivePath.c_str(), why);
}

// The installed brand's icon when there is one, else the client itself.
std::wstring LinkIcon(const std::wstring& brandIcon, const std::wstring& clientPath) {
    return PathExists(brandIcon) ? brandIcon : clientPath;
}

// "<temporary folder>\Branding", or empty when the temporary folder is unknown
// or is no temporary folder: with TMP and TEMP unset the system names the
// profile or the Windows folder, and the "Branding" folder there, emptied
// before every extraction, would be the user's.
std::wstring BrandWorkingFolder() {
    wchar_t temp[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::wstring folder(temp, length);
    if (IsShellFolderOrAncestor(folder, UserShellFolders(false))) return {};
    return folder + kBrandingFolderName;
}

// True when linkPath is a link of someone else's: it leads to a program of
// another name outside the install folder and the client's data folder (the
// user's own "Remote Desktop" link, say, where a brand takes that name). A
// link to the client's program of that name anywhere (a former version's, a
// former roaming folder's) is the client's.
bool IsAnotherProgramsLink(const std::wstring& linkPath, const std::wstring& target) {
    const std::wstring existing = ReadLinkTarget(linkPath.c_str());
    if (existing.empty()) return false;
    const auto fileName = [](const std::wstring& path) {
        return path.substr(path.find_last_of(L"\\/") + 1);
    };
    const std::wstring installFolder = target.substr(0, target.find_last_of(L"\\/"));
    return _wcsicmp(fileName(existing).c_str(), fileName(target).c_str()) != 0 &&
           !IsSameOrInsideFolder(existing, installFolder) &&
           !IsSameOrInsideFolder(existing, GetClientDataFolder());
}

// Creates the link in folder under name. One that cannot be made is told:
// the user is then without it. A link of that name that belongs to another
// program stays: overwritten, it would be lost with the client's at uninstall.
void MakeLink(const std::wstring& target, const std::wstring& folder, const std::wstring& name,
              const std::wstring& icon) {
    const std::wstring path = JoinPath(folder, LinkFileName(name));
    if (IsAnotherProgramsLink(path, target)) {
        LogWriteDefault(LogLevelWarning, kBrandLogCode,
                        L"Link %s leads to another program (%s); it is left as it is and no link "
                        L"to %s is made\n",
                        path.c_str(), ReadLinkTarget(path.c_str()).c_str(), target.c_str());
        return;
    }
    const HRESULT result =
        CreateShortcut(target.c_str(), folder.c_str(), name.c_str(), icon.c_str());
    if (FAILED(result)) {
        LogWriteDefault(LogLevelWarning, kBrandLogCode,
                        L"Link %s to %s could not be created (0x%08x)\n", path.c_str(),
                        target.c_str(), static_cast<unsigned>(result));
    }
}

// The same, first making the folders of a nested name below folder.
void CreateNamedShortcut(const std::wstring& target, const std::wstring& folder,
                         const std::wstring& name, const std::wstring& icon) {
    CreatePathFolders(JoinPath(folder, LinkFileName(name)).c_str());
    MakeLink(target, folder, name, icon);
}

// The desktop link under the installed brand's shortcut_name (or the default
// name) with the brand's icon (or the client's).
void CreateDesktopShortcut(const std::wstring& installFolder, const std::wstring& desktopFolder,
                           const std::wstring& clientPath) {
    if (desktopFolder.empty()) return;
    const std::wstring name = ReadShortcutName(JoinPath(installFolder, kInstalledBrandIni));
    const std::wstring icon = LinkIcon(JoinPath(installFolder, kInstalledBrandIcon), clientPath);
    CreateNamedShortcut(clientPath, desktopFolder, name, icon);
}

// Removes the folders that hold path, innermost first, as far as each is
// empty, ending below top: the folders that a nested name made there. A folder
// link ends the walk: removing it would take the link away (or, on some
// systems, its target). So does one of the user's shell folders, which a
// brand's name may reach ("Startup" as a company is the Startup folder).
void RemoveEmptyParentsBelow(std::wstring path, std::wstring top) {
    const std::vector<std::wstring> shellFolders = UserShellFolders();
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (!top.empty() && top.back() == L'\\') top.pop_back();
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    for (std::size_t cut = path.rfind(L'\\'); cut != std::wstring::npos; cut = path.rfind(L'\\')) {
        path.resize(cut);
        if (path.size() <= top.size() + 1 || !path.starts_with(top) || path[top.size()] != L'\\') {
            return;
        }
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            IsShellFolderOrAncestor(path, shellFolders) || !RemoveDirectoryW(path.c_str())) {
            return;
        }
    }
}

// True when the folder is missing or holds nothing.
bool IsMissingOrEmpty(const std::wstring& folder) {
    if (!PathExists(folder)) return true;
    return PathIsDirectoryEmptyW(folder.c_str()) != FALSE;
}

}  // namespace

void ApplyBrandArchive(const std::wstring& installFolder, const std::wstring& archivePath,
                       const std::wstring& desktopFolder) {
    if (installFolder.empty()) return;
    const std::wstring client = installFolder + kDeskHubClientExe;
    const std::wstring working = BrandWorkingFolder();
    if (working.empty()) {
        LogArchiveSkipped(archivePath, L"was not extracted: the temporary folder is unknown or is "
                                       L"one of the user's own folders");
        return;
    }

    // Files of an earlier extraction must not join this brand, and a stale
    // Brand.ini must not stand in for one the archive lacks.
    DeleteFolderTree(working.c_str());
    if (!IsMissingOrEmpty(working)) {
        LogArchiveSkipped(archivePath, L"was not extracted: the temporary Branding folder cannot "
                                       L"be emptied");
        return;
    }

    CZipArchive archive;
    archive.OpenArchive(archivePath);
    // An archive that the disk cannot hold would fill it for everyone before
    // failing; it is told before anything is written.
    const std::optional<std::uint64_t> declared = archive.DeclaredBytes();
    ULARGE_INTEGER available{};
    if (declared &&
        GetDiskFreeSpaceExW(working.substr(0, working.rfind(L'\\')).c_str(), &available, nullptr,
                            nullptr) &&
        *declared > available.QuadPart) {
        archive.CloseArchive();
        LogArchiveSkipped(archivePath,
                          FormatWide(L"was not extracted: its files take %llu bytes, more than the "
                                     L"%llu bytes free for the temporary folder",
                                     static_cast<unsigned long long>(*declared),
                                     static_cast<unsigned long long>(available.QuadPart))
                              .c_str());
        return;
    }
    if (!archive.ExtractAll(working, false)) {
        archive.CloseArchive();
        // What a damaged archive gave is no brand; it would only take room.
        DeleteFolderTree(working.c_str());
        LogArchiveSkipped(archivePath, L"cannot be opened, is empty or is damaged");
        return;
    }

    archive.CloseArchive();
    if (!PathExists(JoinPath(working, L"\\Brand.ini"))) {
        LogArchiveSkipped(archivePath, L"holds no Brand.ini");
        return;
    }
    // A copy that fails leaves the installed brand whole.
    const std::wstring installed = JoinPath(installFolder, kBrandingFolderName);
    switch (CopyBrandInPlaceOf(working, installed)) {
        case BrandCopy::Placed:
            CreateDesktopShortcut(installFolder, desktopFolder, client);
            break;
        case BrandCopy::NotCopied:
            LogArchiveSkipped(archivePath, L"could not be copied into the install folder");
            break;
        case BrandCopy::NotPlaced:
            LogWriteLastError(LogLevelWarning, DefaultLogModule, kBrandLogCode,
                              L"Brand archive %s cannot take the place of the installed brand %s, "
                              L"which cannot be deleted; no desktop link is made",
                              archivePath.c_str(), installed.c_str());
            break;
    }
}

void UpdateProgramsMenuShortcuts(const std::wstring& installFolder, bool remove) {
    if (installFolder.empty()) return;
    const std::wstring client = JoinPath(installFolder, kDeskHubClientExe);
    const std::wstring ini = JoinPath(installFolder, kInstalledBrandIni);
    const std::wstring companyName = ReadCompanyName(ini);
    const std::wstring appTitle = ReadAppTitle(ini);

    std::wstring programs;
    if (!GetSpecialFolderPath(programs, CSIDL_PROGRAMS)) return;
    const std::wstring folder = JoinPath(JoinPath(programs, companyName), kProgramsSubfolder);
    const std::wstring icon = LinkIcon(JoinPath(installFolder, kInstalledBrandIcon), client);

    if (remove) {
        // Only the links into the install folder go, this brand's and an
        // earlier one's; what else lies there is not the client's. The
        // publisher's folders go with the "Client" folder as far as they are
        // left empty; one that holds anything else stays.
        if (PruneFolderTree(folder.c_str(), [&](const std::wstring& path) {
                return HasLinkExtension(path) && LinkLeadsInto(path.c_str(), installFolder);
            })) {
            RemoveEmptyParentsBelow(folder, programs);
        }
        return;
    }
    CreatePathFolders(folder.c_str());
    CreateNamedShortcut(client, folder, appTitle, icon);
    const std::wstring uninstaller = installFolder + kUninstallerExe;
    if (PathExists(uninstaller)) {
        MakeLink(uninstaller, folder, kUninstallLinkName, icon);
    }
}

void RemoveDesktopShortcut(const std::wstring& installFolder, const std::wstring& desktopFolder,
                           const std::wstring& clientPath) {
    if (installFolder.empty() || desktopFolder.empty()) return;
    const std::wstring name = ReadShortcutName(JoinPath(installFolder, kInstalledBrandIni));
    const std::wstring link = JoinPath(desktopFolder, LinkFileName(name));
    if (DeleteShortcutIfTarget(clientPath.c_str(), link.c_str()) != S_OK) return;
    // The folders of a nested name go as far as the link leaves them empty.
    RemoveEmptyParentsBelow(link, desktopFolder);
}

void UpdateUserShortcuts(bool remove, const std::wstring& installFolder,
                         const std::wstring& archivePath, const std::wstring& clientPath,
                         bool keep) {
    if (installFolder.empty()) return;
    std::wstring desktop;
    GetSpecialFolderPath(desktop, CSIDL_DESKTOP);  // left empty when unknown

    if (!archivePath.empty() || (!remove && IsBrandFileLocationSet())) {
        // A value that is no string names no archive: nothing to extract.
        if (!archivePath.empty()) ApplyBrandArchive(installFolder, archivePath, desktop);
        UpdateProgramsMenuShortcuts(installFolder, remove);
        ClearBrandFileLocation();
    } else if (remove) {
        // Both removals read their names from the brand, so it goes last.
        RemoveDesktopShortcut(installFolder, desktop, clientPath);
        if (!keep) {
            UpdateProgramsMenuShortcuts(installFolder, true);
            RemoveInstalledBrand(installFolder);
        }
    } else {
        // The links under the installed brand's names, or the defaults. An
        // upgrade's uninstall has removed the desktop link, so a carried-over
        // brand needs it made again.
        CreateDesktopShortcut(installFolder, desktop, clientPath);
        UpdateProgramsMenuShortcuts(installFolder, false);
    }
}

void UpdateClientShortcuts(bool remove, const std::wstring& installFolder,
                           const std::wstring& archivePath, bool keep) {
    UpdateUserShortcuts(remove, installFolder, archivePath, installFolder + kDeskHubClientExe,
                        keep);
}
