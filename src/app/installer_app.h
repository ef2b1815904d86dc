#pragma once
// The application object: one per process. StartUp runs the whole program: COM,
// the log, the command line, then the install or (after an optional
// confirmation) the uninstall sequence. It always returns false, so the process
// ends with exit code 0 whatever the sequence achieved; the log tells the
// outcome.

#include <cstdint>
#include <string>

constexpr int32_t ModeInstall = 0;
constexpr int32_t ModeUninstall = 1;

inline constexpr wchar_t kLogFileName[] = L"\\HLXBasicClientLog.txt";
inline constexpr wchar_t kConfirmText[] =
    L"Are you sure you want to uninstall Quellmoor Basic RDP Client?";
inline constexpr wchar_t kConfirmCaption[] = L"Quellmoor Basic RDP Client";

// Starts the logger on "\HLXBasicClientLog.txt" in the roaming application-data
// folder (the root of the current drive without a usable APPDATA) and sets the
// default module to 33.
void StartInstallerLog();

// The text after the program name of a command line, by the Windows rule: a
// quoted program name ends at the closing quote, an unquoted one at the first
// blank or tab; the blanks after it are skipped.
std::wstring ArgumentsFromCommandLine(const wchar_t* commandLine);

// The first step of both sequences: true when the roaming application-data
// folder is absolute and exists; otherwise logs why and the run must change
// nothing (its install folder would be a folder of the current drive).
bool RoamingAppDataFolderIsUsable();

// A process's current folder cannot be deleted or renamed on Windows: before a
// sequence deletes or empties folder, a current folder in it (a program opened
// in its folder starts there) moves to the system folder.
void LeaveFolder(const std::wstring& folder);

// Steps of the install sequence.

// Copies the user's "mysettings.xml" (from the client data folder, else from the
// install folder) beside the installer, from where the payload move carries it
// into the new install folder. A missing file is logged as a failed copy and
// gives true. False, logged, when a settings file exists but no complete copy
// could be made (a short copy is deleted): the install must then stop.
bool BackupUserSettings();
// Runs "Uninstall.exe -u -q -g" from the client data folder and from the install
// folder, where those folders exist, waiting up to 10 s for each; one that still
// runs then is ended (a warning record). False, logged, when one cannot be
// ended: the install must then stop before it deletes anything.
bool RunPreviousUninstallers();
bool RunPreviousUninstaller(const std::wstring& folder);
// Creates the install folder (its last level only), moves the installer
// folder's whole content into it and removes the emptied installer folder.
// False, logged, when the folder cannot be created or an entry cannot be moved.
bool MoveFilesToInstallFolder();

// Steps of the uninstall sequence: the former and the current brand's links in
// the Start menu's Programs folder; false when that folder cannot be found.
bool RemoveLegacyStartMenuShortcuts();
bool RemoveStartMenuShortcuts();

class CBasicClientInstallerApp {
  public:
    // Reads the arguments from the process's command line.
    CBasicClientInstallerApp();
    // Uses the given argument text instead (tests).
    explicit CBasicClientInstallerApp(std::wstring arguments);

    bool StartUp();

    // Sets Mode, Interactive and Upgrade by case-sensitive substring search for
    // "-i", "-u", "-q" and "-g" anywhere in the argument text, one log line per
    // switch found.
    void ParseCommandLine();

    // True without asking in a quiet run; otherwise asks in a Yes/No box and is
    // true only for Yes.
    bool ConfirmUninstall();

    bool Install();
    bool Uninstall();

    void DetectRunningClients();
    bool RegisterClient();
    void RelaunchClients();
    bool UnregisterClient();

    int32_t Interactive = 0;
    int32_t RestartVuClient = 0;
    int32_t RestartWVuClient = 0;
    int32_t Upgrade = 0;
    int32_t Mode = 0;

    const std::wstring& Arguments() const { return arguments_; }

  private:
    std::wstring arguments_;
};
