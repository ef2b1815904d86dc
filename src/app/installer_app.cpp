#include "app/installer_app.h"

#include <objbase.h>
#include <windows.h>

#include <cwchar>

#include "app/locations/install_locations.h"
#include "app/run_lock.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "win/full_path.h"

namespace {

constexpr uint8_t kAppLogModule = 33;

}  // namespace

bool RoamingAppDataFolderIsUsable() {
    const std::wstring roaming = GetRoamingAppDataFolder();
    if (IsUsableRoamingFolder(roaming)) return true;
    LogWrite(1, kAppLogModule, 13,
             L"The roaming application-data folder (APPDATA \"%s\") is not an absolute, "
             L"existing folder; nothing is changed\n",
             roaming.c_str());
    return false;
}

void LeaveFolder(const std::wstring& folder) {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) return;
    std::wstring current(length, L'\0');
    current.resize(GetCurrentDirectoryW(length, current.data()));
    if (!IsSameOrInsideFolder(current, folder)) return;
    wchar_t system[MAX_PATH] = {};
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    if (systemLength > 0 && systemLength < MAX_PATH) SetCurrentDirectoryW(system);
}

void StartInstallerLog() {
    const std::wstring logPath = GetRoamingAppDataFolder() + kLogFileName;
    LogInitialize(logPath.c_str());
    DefaultLogModule = kAppLogModule;
}

std::wstring ArgumentsFromCommandLine(const wchar_t* commandLine) {
    if (commandLine == nullptr) return {};
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

CBasicClientInstallerApp::CBasicClientInstallerApp()
    : arguments_(ArgumentsFromCommandLine(GetCommandLineW())) {}

CBasicClientInstallerApp::CBasicClientInstallerApp(std::wstring arguments)
    : arguments_(std::move(arguments)) {}

bool CBasicClientInstallerApp::StartUp() {
    // COM stays initialised for the whole run; links and the COM server need it.
    CoInitialize(nullptr);
    StartInstallerLog();
    Interactive = 1;
    ParseCommandLine();
    // The lock is taken after the confirmation: a box left open must not
    // hold up another run.
    if (Mode == ModeInstall) {
        SetupRunLock lock;
        if (lock.Acquire()) Install();
    } else if (Mode == ModeUninstall && ConfirmUninstall()) {
        SetupRunLock lock;
        if (lock.Acquire()) Uninstall();
    }
    return false;
}

void CBasicClientInstallerApp::ParseCommandLine() {
    const wchar_t* text = arguments_.c_str();
    Mode = ModeUninstall;
    if (wcsstr(text, L"-i") != nullptr) {
        LogWrite(3, kAppLogModule, 1, L"Installer set to Install\r\n");
        Mode = ModeInstall;
    }
    if (wcsstr(text, L"-u") != nullptr || Mode == ModeUninstall) {
        LogWrite(3, kAppLogModule, 2, L"Installer set to Uninstall\r\n");
        Mode = ModeUninstall;
    }
    if (wcsstr(text, L"-q") != nullptr) {
        LogWrite(3, kAppLogModule, 3, L"Installer set to Quiet\r\n");
        Interactive = 0;
    }
    if (wcsstr(text, L"-g") != nullptr) {
        LogWrite(3, kAppLogModule, 3, L"Installer set to upgrade\r\n");
        Upgrade = 1;
    }
}

bool CBasicClientInstallerApp::ConfirmUninstall() {
    if (Interactive == 0) return true;
    return MessageBoxW(nullptr, kConfirmText, kConfirmCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}
