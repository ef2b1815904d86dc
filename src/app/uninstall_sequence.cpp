// The uninstall sequence: Start-menu links of the former and the current brand,
// running clients, the client's registrations and per-user traces, and last the
// install folder. No step stops the sequence.
#include <windows.h>

#include <shlobj.h>

#include "app/client_registration.h"
#include "app/installer_app.h"
#include "app/locations/install_locations.h"
#include "app/own_file_removal.h"
#include "app/uninstall_entry.h"
#include "fs/folder_tree.h"
#include "integration/running_clients.h"
#include "integration/shell_links.h"
#include "win/wide_format.h"

namespace {

// Deletes the listed links from group\Client under the Programs folder, then
// the two folders if they are empty. Links that cannot be deleted stay; nothing
// is logged. False when the Programs folder cannot be found.
bool RemoveStartMenuGroup(const wchar_t* group, std::initializer_list<const wchar_t*> links) {
    std::wstring programs;
    if (!GetSpecialFolderPath(programs, CSIDL_PROGRAMS)) return false;
    const std::wstring groupFolder = programs + group;
    const std::wstring clientFolder = groupFolder + L"\\Client";
    for (const wchar_t* link : links) {
        // "%s\name" and "\name" give the same: the sub-folder, a backslash, the name.
        DeleteFileW(FormatWide(link, clientFolder.c_str()).c_str());
    }
    RemoveDirectoryW(clientFolder.c_str());
    RemoveDirectoryW(groupFolder.c_str());
    return true;
}

}  // namespace

bool RemoveLegacyStartMenuShortcuts() {
    return RemoveStartMenuGroup(L"\\N4", {L"%s\\N4 Client.lnk", L"%s\\N4 RDP.lnk",
                                          L"%s\\Quellmoor N4 RDP.lnk", L"%s\\Uninstall.lnk"});
}

bool RemoveStartMenuShortcuts() {
    return RemoveStartMenuGroup(L"\\Quellmoor",
                                {L"%s\\Quellmoor Client.lnk", L"%s\\Uninstall.lnk"});
}

bool CBasicClientInstallerApp::UnregisterClient() {
    return ClientUninstall(GetInstallFolder() + L"\\", Interactive, Upgrade) == 0;
}

bool CBasicClientInstallerApp::Uninstall() {
    // Without a usable roaming folder the install folder would be one of the
    // current drive: nothing is touched.
    if (!RoamingAppDataFolderIsUsable()) return true;
    RemoveLegacyStartMenuShortcuts();
    RemoveStartMenuShortcuts();
    CloseRunningClients();
    UnregisterClient();
    // The running uninstaller itself is among what cannot go at once: it is
    // moved aside, and a helper deletes it once this process has ended.
    OwnFileRemoval ownFile = PrepareOwnFileRemoval(GetInstallFolder());
    LeaveFolder(GetInstallFolder());
    DeleteFolderTree(GetInstallFolder().c_str());
    // An upgrade keeps the entry: should the new install fail, the list still
    // shows the installation.
    if (Upgrade == 0) DeleteUninstallEntry(HKEY_CURRENT_USER);
    if (Upgrade != 0) ownFile.installFolder.clear();
    StartOwnFileRemoval(ownFile);
    return true;
}
