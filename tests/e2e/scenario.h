#pragma once
// One end-to-end scenario: a fresh roaming folder, temporary folder, desktop,
// Programs and Startup folders, a clean per-user registry for everything the
// installer touches, and a payload folder laid out like a release. Runs the
// real Uninstall.exe as a child process with that environment.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace e2e {

using testing_support::EnvironmentChanges;

// A registry value as it was, type included, for putting it back.
struct SavedRegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class Scenario {
  public:
    // roamingName: the roaming folder's path below the scenario's root (nested
    // folders allowed; created through the long-path form).
    explicit Scenario(const std::wstring& roamingName = L"Roaming");
    ~Scenario();

    std::wstring Root() const { return root_.Path(); }
    std::wstring Roaming() const { return root_ / roamingName_; }
    std::wstring InstallFolder() const { return Roaming() + L"\\QuellmoorClient"; }
    std::wstring ClientDataFolder() const { return Roaming() + L"\\N4Client"; }
    std::wstring Temp() const { return root_ / L"Temp"; }
    std::wstring Desktop() const { return root_ / L"Desktop"; }
    std::wstring Programs() const { return root_ / L"Programs"; }
    std::wstring Startup() const { return root_ / L"Startup"; }
    std::wstring Downloads() const { return root_ / L"Downloads"; }
    std::wstring LogPath() const { return Roaming() + L"\\HLXBasicClientLog.txt"; }
    // Where the stand-in clients record their starts (outside the install folder).
    std::wstring ClientRecord() const { return root_ / L"clients.log"; }

    // A payload folder like a release: Uninstall.exe, the two stand-in clients,
    // the stand-in COM server and the stand-ins' settings (pointing their
    // records at ClientRecord()). clientSettings are extra lines for the
    // [client] section of the stand-in client's settings, comServerSettings for
    // the COM server's [server] section.
    std::wstring MakePayload(const std::wstring& folder,
                             const std::vector<std::wstring>& clientSettings = {},
                             const std::vector<std::wstring>& comServerSettings = {},
                             bool withComServer = true) const;

    // The environment of a run: APPDATA, TEMP and TMP of this scenario.
    EnvironmentChanges Environment() const;

    // Runs program (a full path) with the arguments, waits for it and returns
    // its exit code; std::nullopt when it did not start or did not end in time.
    // overrides change the scenario's environment for this run.
    std::optional<DWORD> Run(const std::wstring& program, const std::wstring& arguments,
                             DWORD timeoutMs = 180000,
                             const EnvironmentChanges& overrides = {}) const;
    // Runs a whole command line as written (program first), as the shell's
    // list of installed applications starts an uninstall command; in
    // workingFolder when one is given, else in Root().
    std::optional<DWORD> RunCommandLine(const std::wstring& commandLine,
                                        const std::wstring& workingFolder = L"") const;
    // The same through the standard-user launcher.
    std::optional<DWORD> RunAsStandardUser(const std::wstring& program,
                                           const std::wstring& arguments) const;
    // Starts program without waiting (a running client, for instance).
    testing_support::ChildProcess Start(const std::wstring& program,
                                        const std::wstring& arguments = L"") const;

    // The messages of the log, one per record, without header and timestamp,
    // with their trailing line breaks removed.
    std::vector<std::wstring> LogMessages() const;
    // The whole records (header included), for checks of module, code and process.
    std::vector<std::wstring> LogRecords() const;
    // The stand-in clients' record lines ("start\tVuClient.exe\t...").
    std::vector<std::wstring> ClientRecords() const;

  private:
    testing_support::TempFolder root_;
    std::wstring roamingName_;
    std::vector<std::pair<std::wstring, std::optional<SavedRegistryValue>>> savedShellFolders_;
    std::optional<SavedRegistryValue> savedAppDataValue_;
};

// The tab-separated fields of a stand-in client's record line.
std::vector<std::wstring> SplitFields(const std::wstring& line);

// Registry reads of the real HKEY_CURRENT_USER; std::nullopt when missing.
std::optional<std::wstring> ReadString(const std::wstring& key, const std::wstring& value);
std::optional<DWORD> ReadDword(const std::wstring& key, const std::wstring& value);
bool KeyExists(const std::wstring& key);
void WriteString(const std::wstring& key, const std::wstring& value, const std::wstring& data);
void WriteDword(const std::wstring& key, const std::wstring& value, DWORD data);

// True when the messages hold `expected` in this order (others may stand between).
// On failure the message names the first missing one and lists the messages.
testing::AssertionResult ContainsInOrder(const std::vector<std::wstring>& messages,
                                         const std::vector<std::wstring>& expected);
testing::AssertionResult Contains(const std::vector<std::wstring>& messages,
                                  const std::wstring& expected);
// How many lines start with the prefix.
size_t CountStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix);

// Where a link points, read through the shell; empty when it cannot be read.
std::wstring LinkTarget(const std::wstring& linkPath);

}  // namespace e2e
