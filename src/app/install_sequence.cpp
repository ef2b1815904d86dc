// The install sequence: close running clients, keep the user's settings and
// brand, let previous installations uninstall themselves, replace the install
// folder with the installer folder's content, register the client and start
// again the clients that were running.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

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
#include "logging/log_write.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr uint8_t kAppLogModule = 33;
constexpr wchar_t kSettingsFile[] = L"\\mysettings.xml";
constexpr wchar_t kPreviousUninstallerParameters[] = L"-u -q -g";
constexpr DWORD kPreviousUninstallerWaitMs = 10000;

// An install must take its payload from a folder of its own. Started from the
// install folder (the installed uninstaller run with "-i"), from below it, or
// from a folder that holds it, the sequence would delete its own payload or
// move unrelated files into the install folder.
bool InstallerFolderIsUsable() {
    const std::wstring installer = GetInstallerFolder();
    const std::wstring install = GetInstallFolder();
    if (!ComparableFolderPath(installer).empty() && !ComparableFolderPath(install).empty() &&
        !IsSameOrInsideFolder(installer, install) && !IsSameOrInsideFolder(install, installer)) {
        return true;
    }
    LogWrite(1, kAppLogModule, 8,
             L"Installer folder (%s) is not apart from the install folder (%s); nothing is "
             L"installed\n",
             GetInstallerFolder().c_str(), GetInstallFolder().c_str());
    return false;
}

}  // namespace

void BackupUserSettings() {
    std::wstring source = GetClientDataFolder() + kSettingsFile;
    if (!PathFileExistsW(source.c_str())) source = GetInstallFolder() + kSettingsFile;
    const std::wstring destination = GetInstallerFolder() + kSettingsFile;

    LogWrite(3, kAppLogModule, 111, L"Backing up file %s \n", source.c_str());
    if (CopyFileExW(source.c_str(), destination.c_str(), nullptr, nullptr, nullptr, 0)) {
        LogWrite(3, kAppLogModule, 111, L"File backed up successfully\n");
    } else {
        const DWORD error = GetLastError();
        LogWrite(1, kAppLogModule, 111, L"Failed to copy file \n %s to \n %s \nError: 0x%x\n",
                 source.c_str(), destination.c_str(), error);
    }
}

void RunPreviousUninstaller(const std::wstring& folder) {
    const std::wstring path = JoinPath(folder, kUninstallerExe);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.lpParameters = kPreviousUninstallerParameters;
    info.nShow = SW_HIDE;
    ShellExecuteExW(&info);
    UniqueHandle process(info.hProcess);

    // A previous uninstaller that takes longer goes on in parallel; the robust
    // deletion tolerates entries that disappear under it.
    DWORD exitCode = 0;
    bool started = false;
    if (process) {
        WaitForSingleObject(process.Get(), kPreviousUninstallerWaitMs);
        started = GetExitCodeProcess(process.Get(), &exitCode) != FALSE;
    }
    if (!started) {
        LogWrite(3, kAppLogModule, 4, L"Previous uninstaller not found '%s'\n", path.c_str());
    }
}

void RunPreviousUninstallers() {
    const std::wstring clientData = GetClientDataFolder();
    if (PathFileExistsW(clientData.c_str())) RunPreviousUninstaller(clientData);
    const std::wstring install = GetInstallFolder();
    if (PathFileExistsW(install.c_str())) RunPreviousUninstaller(install);
}

bool MoveFilesToInstallFolder() {
    const std::wstring install = GetInstallFolder();
    if (!CreateDirectoryW(install.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
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

bool CBasicClientInstallerApp::RegisterClient() {
    const std::wstring installDir = GetInstallFolder() + L"\\";
    return ClientInstall(installDir, Interactive, ReadBrandFileLocation()) == 0;
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
    if (!InstallerFolderIsUsable()) return false;
    // Before anything changes: a release folder that lacks listed files stops here.
    if (!CheckReleaseFolder(GetInstallerFolder())) return false;
    DetectRunningClients();
    CloseRunningClients();
    BackupUserSettings();
    CarryOverInstalledBrand();
    RunPreviousUninstallers();
    DeleteFolderTree(GetInstallFolder().c_str());
    if (!MoveFilesToInstallFolder()) return false;
    if (!RegisterClient()) return false;
    WriteUninstallEntry(HKEY_CURRENT_USER, GetInstallFolder());
    RelaunchClients();
    return true;
}
