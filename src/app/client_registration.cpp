#include "app/client_registration.h"

#include <shlobj.h>

#include "branding/brand_links.h"
#include "cleanup/association_restore.h"
#include "cleanup/client_user_data.h"
#include "cleanup/shortcut_lists.h"
#include "integration/client_contract.h"
#include "integration/client_runs.h"
#include "integration/com_server.h"
#include "integration/file_associations.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "platform/ui_language.h"
#include "win/wide_format.h"

namespace {

// The start lines of both sequences are also printed on the console.
constexpr uint32_t kConsoleInfo = LogFlagConsole | LogLevelInfo;
constexpr wchar_t kPrivileged[] = L"0";
constexpr wchar_t kStartupShortcutsKey[] = L"Software\\Quellmoor\\StartupShortcuts";

std::wstring ClientExecutablePath(const std::wstring& installDir) {
    return FormatWide(L"%s%s", installDir.c_str(), kVuClientExe);
}

// A switch of the RDP-control runs, with " -silent" in a quiet run.
std::wstring RdpControlSwitch(const wchar_t* name, int32_t clientUiLevel) {
    std::wstring text = name;
    if (clientUiLevel == 0) text += kSwitchSilent;
    return text;
}

void LogStartValues(const std::wstring& installDir, int32_t clientUiLevel) {
    LogWrite(kConsoleInfo, 0, 22, L"szInstallDir %s\n", installDir.c_str());
    LogWrite(kConsoleInfo, 0, 22, L"szPrivileged %s\n", kPrivileged);
    LogWrite(kConsoleInfo, 0, 22, L"szCLIENTUILEVELVAL %d\n", clientUiLevel);
}

void LogRdpControlResult(uint32_t exitCode) {
    if (exitCode != 0) {
        LogWriteDefault(3, 11, L"Failed to install new RDP control. Error: %d.\n", exitCode);
    } else {
        LogWriteDefault(3, 11, L"RDP control installation exited normally.\n");
    }
}

}  // namespace

uint32_t ClientInstall(const std::wstring& installDir, int32_t clientUiLevel,
                       const std::wstring& brandArchivePath) {
    LogWriteDefault(3, 1, L"Starting Client Install\n");
    ApplyThreadUiLanguage();
    LogStartValues(installDir, clientUiLevel);

    LogWriteDefault(3, 7, L"Registering N4ClientSystem.dll.\n");
    uint32_t result = RegisterComServer(installDir, true);
    if (result == 0) {
        LogWriteDefault(3, 7, L"Registering N4ClientSystem.dll succeeded.\n");
    } else {
        LogWriteDefault(3, 7, L"Registering N4ClientSystem.dll failed. Error: %d.\n", result);
    }

    LogWriteDefault(3, 7, L"Registering N4A File Extension.\n");
    if (RegisterFileType(ClientExecutablePath(installDir))) {
        LogWriteDefault(3, 7, L"Registering N4A File Extension was Sucessfull\n");
    } else {
        LogWriteDefault(3, 7, L"Registering N4A File Extension Failed\n");
    }

    LogWriteDefault(3, 7, L"Registering Url Schema.\n");
    if (RegisterUrlScheme(ClientExecutablePath(installDir))) {
        LogWriteDefault(3, 7, L"Registering Url Schema was Sucessfull\n");
    } else {
        LogWriteDefault(3, 7, L"Registering Url Schema Failed\n");
    }

    if (IsUserInAdminGroup()) {
        LogWriteDefault(3, 11, L"Installing latest Microsoft RDP Client control.\n");
        RunClientWithSwitch(installDir, RdpControlSwitch(kSwitchRegMsOcx, clientUiLevel));
        const uint32_t control =
            RunClientWithSwitch(installDir, RdpControlSwitch(kSwitchRegOcx, clientUiLevel));
        LogRdpControlResult(control);
        // The control's run does not register the COM server: a failed
        // registration stays the result.
        if (result == 0) result = control;
    } else {
        LogWriteDefault(3, 11,
                        L"Skipping RDP control installation as this user does not have "
                        L"administrative rights.\n");
    }

    UpdateClientShortcuts(false, installDir, brandArchivePath, false);
    RunClientWithSwitch(installDir, kSwitchWinDefExcludeAdd);

    LogWriteDefault(3, 2, L"Exiting client install (0X%08x)\n", result);
    return result;
}

uint32_t ClientUninstall(const std::wstring& installDir, int32_t clientUiLevel,
                         int32_t keepUserData) {
    LogStartValues(installDir, clientUiLevel);

    LogWriteDefault(3, 13, L"Unregistering N4A File Extension.\n");
    if (UnregisterFileType(ClientExecutablePath(installDir))) {
        LogWriteDefault(3, 7, L"UnRegistering N4A File Extension was Sucessfull\n");
    } else {
        LogWriteDefault(3, 7, L"UnRegistering N4A File Extension Failed\n");
    }

    LogWriteDefault(3, 13, L"Unregistering Url Schema.\n");
    if (UrlSchemeBelongsToAnotherProgram()) {
        LogWriteDefault(3, 7,
                        L"URL scheme %s belongs to another program now; it is left as it is.\n",
                        kUrlScheme);
    } else if (UnregisterUrlScheme(ClientExecutablePath(installDir))) {
        LogWriteDefault(3, 7, L"UnRegistering Url Schema was Sucessfull\n");
    } else {
        LogWriteDefault(3, 7, L"UnRegistering Url Schema Failed\n");
    }

    LogWriteDefault(3, 13, L"Unregistering KivClientSystem.dll\n");
    const uint32_t comResult = RegisterComServer(installDir, false);
    if (comResult != 0) {
        LogWriteDefault(3, 13, L"Unregistering KivClientSystem.dll. Error: %d.\n", comResult);
    } else {
        LogWriteDefault(3, 13, L"Unregistering KivClientSystem.dll succeeded.\n");
    }

    LogWriteDefault(3, 16, L"Skipping cleaning of DeskHubClient key from HKLM.\n");

    if (keepUserData == 0) {
        LogWriteDefault(3, 17, L"Cleaning every user's information.\n");
        RemoveStartupShortcut();
        CleanShortcutList(HKEY_CURRENT_USER, kStartupShortcutsKey);
        CleanAllShortcutLists(HKEY_CURRENT_USER);
        RestoreAllFileAssociations(HKEY_CURRENT_USER);
        CleanClientUserData(HKEY_CURRENT_USER);
        // The shell rereads the file associations.
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    }

    if (IsUserInAdminGroup()) {
        LogWriteDefault(3, 11, L"Reverting to original Microsoft RDP Client control.\n");
        LogRdpControlResult(
            RunClientWithSwitch(installDir, RdpControlSwitch(kSwitchRegMsOcx, clientUiLevel)));
    } else {
        LogWriteDefault(3, 11,
                        L"Skipping original RDP control installation as this user does not have "
                        L"administrative rights.\n");
    }

    UpdateClientShortcuts(true, installDir, L"", keepUserData != 0);
    RunClientWithSwitch(installDir, kSwitchWinDefExcludeRem);

    LogWriteDefault(3, 4, L"Exiting client uninstall (0X%08x)\n", 0);
    return 0;
}
