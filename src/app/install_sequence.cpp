// The install sequence: close running clients, keep the user's settings and
// brand, let previous installations uninstall themselves, replace the install
// folder with the installer folder's content, register the client and start
// again the clients that were running.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

#include "app/client_registration.h"
#include "app/installer_app.h"
#include "app/locations/install_locations.h"
#include "app/release_manifest.h"
#include "app/uninstall_entry.h"
#include "branding/brand_source.h"
#include "fs/folder_tree.h"
#include "fs/join_path.h"
#include "fs/robust_delete.h"
#include "integration/client_contract.h"
#include "integration/running_clients.h"
#include "integration/shell_folders.h"
#include "logging/last_error.h"
#include "logging/log_write.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr uint8_t kAppLogModule = 33;
constexpr wchar_t kSettingsFile[] = L"\\mysettings.xml";
constexpr wchar_t kPreviousUninstallerParameters[] = L"-u -q -g";
constexpr DWORD kPreviousUninstallerWaitMs = 10000;
// How long an ended previous uninstaller may take to go.
constexpr DWORD kPreviousUninstallerEndWaitMs = 10000;
constexpr uint32_t kZoneLogCode = 32;
constexpr wchar_t kZoneStream[] = L":Zone.Identifier";

// A folder in its comparable form and, when a folder link lies on its way, the
// form with the links followed: reached through a link, the folder whose
// content moves (or is deleted) is the link's target.
std::vector<std::wstring> FolderForms(const std::wstring& folder) {
    std::vector<std::wstring> forms{ComparableFolderPath(folder)};
    const std::wstring resolved = ResolvedFolderPath(folder);
    if (!resolved.empty() && !IsSameFolderComparable(resolved, forms[0])) forms.push_back(resolved);
    return forms;
}

// An install must take its payload from a folder of its own: it moves the
// folder's whole content and the next uninstall deletes it. Refused, before
// anything changes: the install folder itself, a folder below it or holding it
// (the sequence would delete its own payload), the client's data folder or a
// folder below it, a volume root, and the user's and the system's shell
// folders or a folder holding one (the user's own files would be moved into
// the install folder).
bool InstallerFolderIsUsable() {
    const std::vector<std::wstring> installs = FolderForms(GetInstallFolder());
    const std::vector<std::wstring> clientData = FolderForms(GetClientDataFolder());
    bool apart = true;
    for (const std::wstring& installer : FolderForms(GetInstallerFolder())) {
        apart = apart && !installer.empty() && !IsVolumeRoot(installer) &&
                !IsShellFolderOrAncestor(installer);
        for (const std::wstring& install : installs) {
            apart = apart && !install.empty() && !IsSameOrInsideComparable(installer, install) &&
                    !IsSameOrInsideComparable(install, installer);
        }
        for (const std::wstring& data : clientData) {
            apart = apart && !IsSameOrInsideComparable(installer, data);
        }
    }
    if (apart) return true;
    LogWrite(1, kAppLogModule, 8,
             L"Installer folder (%s) is not apart from the install folder (%s); nothing is "
             L"installed\n",
             GetInstallerFolder().c_str(), GetInstallFolder().c_str());
    return false;
}

// The payload is moved, never copied, and a move across volumes fails. Told
// before the old installation is deleted, so that the user keeps a client.
// A folder reached through a link lies on its target's volume.
bool InstallerFolderIsOnInstallVolume() {
    const std::wstring installer = GetInstallerFolder();
    const std::wstring roaming = GetRoamingAppDataFolder();
    bool sameVolume = true;
    for (const std::wstring& form : FolderForms(installer)) {
        for (const std::wstring& roamingForm : FolderForms(roaming)) {
            sameVolume = sameVolume && IsOnSameVolume(form, roamingForm);
        }
    }
    if (sameVolume) return true;
    LogWrite(1, kAppLogModule, 9,
             L"Installer folder (%s) is not on the volume of %s, so its files cannot be moved "
             L"there; nothing is installed\n",
             installer.c_str(), roaming.c_str());
    return false;
}

bool HasSameSize(const std::wstring& a, const std::wstring& b) {
    WIN32_FILE_ATTRIBUTE_DATA first{}, second{};
    return GetFileAttributesExW(ExtendedLengthPath(a).c_str(), GetFileExInfoStandard, &first) &&
           GetFileAttributesExW(ExtendedLengthPath(b).c_str(), GetFileExInfoStandard, &second) &&
           first.nFileSizeHigh == second.nFileSizeHigh && first.nFileSizeLow == second.nFileSizeLow;
}

bool IsMissingFile(const std::wstring& path) {
    if (GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Files unpacked from a downloaded archive carry the zone they came from (the
// Zone.Identifier stream), and a move keeps it: Windows would then ask before
// every start of the installed client and uninstaller from the shell, and a
// quiet switch run would wait behind that question. Once the user has run
// the installer, its programs are installed ones: the marks of the install
// folder's own files go. Links are passed over, since the stream opened
// through one would be that of the file it points at.
void ForgetDownloadZone(const std::wstring& install) {
    unsigned removed = 0;
    for (const std::wstring& file : ListFolderFiles(install)) {
        if (DeleteFileW((ReachablePath(file) + kZoneStream).c_str())) ++removed;
    }
    if (removed != 0) {
        LogWrite(3, kAppLogModule, kZoneLogCode,
                 L"The mark of a download was taken off %u installed files\n", removed);
    }
}

}  // namespace

bool BackupUserSettings() {
    std::wstring source = GetClientDataFolder() + kSettingsFile;
    if (!PathExists(source)) source = GetInstallFolder() + kSettingsFile;
    const std::wstring destination = GetInstallerFolder() + kSettingsFile;

    LogWrite(3, kAppLogModule, 111, L"Backing up file %s \n", source.c_str());
    if (CopyFileExW(ExtendedLengthPath(source).c_str(), ExtendedLengthPath(destination).c_str(),
                    nullptr, nullptr, nullptr, 0)) {
        // A full disk can leave a short copy behind a reported success.
        if (HasSameSize(source, destination)) {
            LogWrite(3, kAppLogModule, 111, L"File backed up successfully\n");
            return true;
        }
        DeleteFileW(ExtendedLengthPath(destination).c_str());
        LogWrite(1, kAppLogModule, 111, L"Backup copy %s is incomplete\n", destination.c_str());
    } else {
        const DWORD error = GetLastError();
        LogWrite(1, kAppLogModule, 111, L"Failed to copy file \n %s to \n %s \nError: 0x%x\n",
                 source.c_str(), destination.c_str(), error);
        // Without a settings file there is nothing to keep.
        if (IsMissingFile(source)) return true;
    }
    LogWrite(1, kAppLogModule, 111,
             L"The user's settings could not be backed up; nothing is deleted or installed\n");
    return false;
}

bool RunPreviousUninstaller(const std::wstring& folder) {
    const std::wstring path = JoinPath(folder, kUninstallerExe);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // An earlier version's uninstaller may still carry the mark of its
    // download: the zone check would hold this quiet run at its question.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.lpParameters = kPreviousUninstallerParameters;
    info.nShow = SW_HIDE;
    ShellExecuteExW(&info);
    UniqueHandle process(info.hProcess);

    DWORD exitCode = 0;
    bool started = false;
    if (process) {
        // One that goes on would delete in the install folder while the new
        // files arrive, and delete them when it gets there: it is ended first.
        if (WaitForSingleObject(process.Get(), kPreviousUninstallerWaitMs) == WAIT_TIMEOUT) {
            LogWrite(2, kAppLogModule, 4,
                     L"Previous uninstaller '%s' still runs after %lu s; it is ended\n",
                     path.c_str(), kPreviousUninstallerWaitMs / 1000);
            if (!TerminateProcess(process.Get(), ERROR_TIMEOUT)) {
                LogWriteLastError(2, kAppLogModule, 4, L"TerminateProcess failed");
            }
            if (WaitForSingleObject(process.Get(), kPreviousUninstallerEndWaitMs) !=
                WAIT_OBJECT_0) {
                LogWrite(1, kAppLogModule, 4,
                         L"Previous uninstaller '%s' cannot be ended; nothing is deleted or "
                         L"installed\n",
                         path.c_str());
                return false;
            }
        }
        started = GetExitCodeProcess(process.Get(), &exitCode) != FALSE;
    }
    if (!started) {
        LogWrite(3, kAppLogModule, 4, L"Previous uninstaller not found '%s'\n", path.c_str());
    }
    return true;
}

bool RunPreviousUninstallers() {
    const std::wstring clientData = GetClientDataFolder();
    if (PathExists(clientData) && !RunPreviousUninstaller(clientData)) return false;
    const std::wstring install = GetInstallFolder();
    return !PathExists(install) || RunPreviousUninstaller(install);
}

bool MoveFilesToInstallFolder() {
    const std::wstring install = GetInstallFolder();
    if (!CreateDirectoryW(ExtendedLengthPath(install).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        LogWrite(1, kAppLogModule, 5, L"Failed to create Destination Folder (%s)\r\n",
                 install.c_str());
        return false;
    }
    const std::wstring source = GetInstallerFolder();
    // With a manifest only the release's files move; the folder then goes only
    // when nothing else was in it.
    const bool listed = HasReleaseManifest(source);
    if (listed ? MoveListedReleaseFiles(source, install)
               : MoveFolderContents(source.c_str(), install.c_str())) {
        if (!listed || PathIsDirectoryEmptyW(source.c_str())) RemoveFolderRobust(source.c_str());
        return true;
    }
    LogWrite(1, kAppLogModule, 6, L"Failed to move file to Destination folder (%s)\r\n",
             install.c_str());
    return false;
}

void CBasicClientInstallerApp::DetectRunningClients() {
    RestartVuClient = 0;
    RestartWVuClient = 0;
    ClientProcessCounter vuClients{0, kVuClientExe};
    ForEachProcess(CountProcessesNamed, &vuClients);
    if (vuClients.count != 0) RestartVuClient = 1;
    ClientProcessCounter hubClients{0, kDeskHubClientExe};
    ForEachProcess(CountProcessesNamed, &hubClients);
    if (hubClients.count != 0) RestartWVuClient = 1;
    LogWrite(3, kAppLogModule, 111, L"RestartVuClient = %d, RestartWVuClient = %d\n",
             RestartVuClient, RestartWVuClient);
}

namespace {

// The brand archive to apply: the one "BrandFileLocation" names, or, when it
// named a file in the release folder, that file where the payload's move has
// taken it (a brand archive shipped beside the installer moves with it).
std::wstring BrandArchiveAfterTheMove() {
    const std::wstring named = ReadBrandFileLocation();
    if (named.empty() ||
        GetFileAttributesW(ExtendedLengthPath(named).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return named;
    }
    const std::wstring archive = PlainFullPath(named);
    const std::wstring release = PlainFullPath(GetInstallerFolder());
    if (release.empty() || !IsSameOrInsideComparable(archive, release) ||
        archive.size() <= release.size() + 1) {
        return named;
    }
    const std::wstring moved = JoinPath(GetInstallFolder(), archive.substr(release.size() + 1));
    return GetFileAttributesW(ExtendedLengthPath(moved).c_str()) != INVALID_FILE_ATTRIBUTES ? moved
                                                                                            : named;
}

}  // namespace

bool CBasicClientInstallerApp::RegisterClient() {
    const std::wstring installDir = GetInstallFolder() + L"\\";
    return ClientInstall(installDir, Interactive, BrandArchiveAfterTheMove()) == 0;
}

void CBasicClientInstallerApp::RelaunchClients() {
    const std::wstring installDir = GetInstallFolder() + L"\\";
    if (RestartVuClient != 0) {
        ShellExecuteW(nullptr, L"open", (installDir + kVuClientExe).c_str(), L"", L"", SW_SHOW);
    }
    if (RestartWVuClient != 0) {
        ShellExecuteW(nullptr, L"open", (installDir + kDeskHubClientExe).c_str(), L"", L"",
                      SW_SHOW);
    }
}

bool CBasicClientInstallerApp::Install() {
    if (!RoamingAppDataFolderIsUsable()) return false;
    if (!InstallerFolderIsUsable()) return false;
    if (!InstallerFolderIsOnInstallVolume()) return false;
    // Before anything changes: a release folder that lacks listed files stops here.
    if (!CheckReleaseFolder(GetInstallerFolder())) return false;
    DetectRunningClients();
    CloseRunningClients();
    if (!ReleaseFilesAreFreeToMove(GetInstallerFolder()) || !BackupUserSettings() ||
        !CarryOverInstalledBrand()) {
        // Nothing has changed: the clients closed for the install come back.
        RelaunchClients();
        return false;
    }
    if (!RunPreviousUninstallers()) return false;
    LeaveFolder(GetInstallFolder());
    DeleteFolderTree(GetInstallFolder().c_str());
    // The release folder is removed once emptied.
    LeaveFolder(GetInstallerFolder());
    if (!MoveFilesToInstallFolder()) return false;
    ForgetDownloadZone(GetInstallFolder());
    if (!RegisterClient()) return false;
    WriteUninstallEntry(HKEY_CURRENT_USER, GetInstallFolder());
    RelaunchClients();
    return true;
}
