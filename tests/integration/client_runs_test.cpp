// Switch runs of the stand-in VuClient.exe through the shell, and the
// administrator check under real tokens.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "integration/client_contract.h"
#include "integration/client_runs.h"
#include "integration/stand_in_control.h"
#include "logging/logger.h"
#include "support/test_support.h"

using testing_support::TempFolder;

namespace {

constexpr wchar_t kLaunchFailedText[] =
    L"Failed to launch VuClient for RDP control installation. Error: ";

size_t CountOccurrences(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace

TEST(ClientSwitchRun, RunsTheClientHiddenAndReturnsItsExitCode) {
    TempFolder folder;
    TempFolder logFolder;
    LogInitialize((logFolder / L"log.txt").c_str());
    stand_in::PlaceClient(folder.Path(), kVuClientExe);
    stand_in::WriteClientSettings(
        folder.Path(), "[VuClient.exe]\r\nSwitchExitCode=7\r\nSwitchExitCode-regocx=5\r\n");
    const std::wstring installFolder = folder.Path() + L"\\";

    EXPECT_EQ(
        RunClientWithSwitch(installFolder, std::wstring(kSwitchRegOcx) + kSwitchSilent, 30000), 5u);
    EXPECT_EQ(RunClientWithSwitch(installFolder, kSwitchWinDefExcludeAdd, 30000), 7u);

    const auto records = stand_in::ReadClientRecords(folder.Path());
    std::vector<stand_in::ClientRecord> starts;
    for (const auto& record : records) {
        if (record.event == L"start") starts.push_back(record);
    }
    ASSERT_EQ(starts.size(), 2u);
    // start fields: mode, detail, show, arguments, command line
    EXPECT_EQ(starts[0].fields.at(0), L"switch");
    EXPECT_EQ(starts[0].fields.at(1), kSwitchRegOcx);
    EXPECT_EQ(starts[0].fields.at(2), std::to_wstring(SW_HIDE));
    EXPECT_EQ(starts[0].fields.at(3), L"-regocx -silent");
    EXPECT_EQ(starts[1].fields.at(1), kSwitchWinDefExcludeAdd);
    EXPECT_EQ(starts[1].fields.at(3), kSwitchWinDefExcludeAdd);
    EXPECT_EQ(testing_support::ReadUtf16File(logFolder / L"log.txt").find(kLaunchFailedText),
              std::wstring::npos);
}

TEST(ClientSwitchRun, ReportsStartFailuresAndClientsThatRunTooLong) {
    TempFolder empty;
    TempFolder logFolder;
    const std::wstring logPath = logFolder / L"log.txt";
    LogInitialize(logPath.c_str());
    DefaultLogModule = 33;

    // No client in the folder: file not found, an error record, and the
    // error is the result (0 would read as a run that went well).
    EXPECT_EQ(RunClientWithSwitch(empty.Path() + L"\\", kSwitchRegMsOcx, 30000), 2u);
    std::wstring log = testing_support::ReadUtf16File(logPath);
    EXPECT_NE(log.find(L"[E 21/0000000B/"), std::wstring::npos) << testing_support::ToUtf8(log);
    EXPECT_NE(log.find(std::wstring(kLaunchFailedText) + L"2.\r\n"), std::wstring::npos);

    // A folder too long for the client path is refused before any start.
    const std::wstring longFolder = empty.Path() + L"\\" + std::wstring(250, L'x') + L"\\";
    EXPECT_EQ(RunClientWithSwitch(longFolder, kSwitchRegMsOcx, 30000), 206u);
    log = testing_support::ReadUtf16File(logPath);
    EXPECT_NE(log.find(std::wstring(kLaunchFailedText) + L"206.\r\n"), std::wstring::npos);

    // A client that does not finish: STILL_ACTIVE after the wait, left running.
    TempFolder slow;
    stand_in::PlaceClient(slow.Path(), kVuClientExe);
    stand_in::WriteClientSettings(slow.Path(), "[client]\r\nSwitchRunMs=-1\r\n");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RunClientWithSwitch(slow.Path() + L"\\", kSwitchRegMsOcx, 1500), STILL_ACTIVE);
    EXPECT_GE(GetTickCount64() - start, 1400u);
    const auto records = stand_in::ReadClientRecords(slow.Path());
    ASSERT_EQ(records.size(), 1u);
    HANDLE client = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, records[0].pid);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(WaitForSingleObject(client, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(client, 1);
    WaitForSingleObject(client, 5000);
    CloseHandle(client);

    // Every failed start logs its line once.
    log = testing_support::ReadUtf16File(logPath);
    EXPECT_EQ(CountOccurrences(log, kLaunchFailedText), 2u);
}

namespace {

struct AdminProbeRun {
    std::optional<DWORD> exitCode;
    std::string output;
    std::wstring log;
};

// Runs admin_check_probe (optionally through standard_user_launcher) with a
// log file of its own and collects what it printed and logged.
AdminProbeRun RunAdminProbe(const std::wstring& launcherOptions, const std::wstring& probeOptions) {
    TempFolder folder;
    const std::wstring bin = testing_support::BinFolder();
    std::wstring commandLine = testing_support::Quoted(bin + L"\\admin_check_probe.exe") + L" " +
                               probeOptions + testing_support::Quoted(folder / L"log.txt");
    if (launcherOptions != L"-") {
        commandLine = testing_support::Quoted(bin + L"\\standard_user_launcher.exe") + L" " +
                      launcherOptions + commandLine;
    }
    AdminProbeRun run;
    run.exitCode = testing_support::RunProgram(commandLine, {}, 60000, folder / L"out.txt");
    run.output = testing_support::ReadFileBytes(folder / L"out.txt");
    run.log = testing_support::ReadUtf16File(folder / L"log.txt");
    return run;
}

}  // namespace

TEST(AdminCheck, AnswersForTheTokenTheProcessRunsWith) {
    // Wine's own token: an elevated administrator (elevation type full).
    const AdminProbeRun admin = RunAdminProbe(L"-", L"");
    EXPECT_EQ(admin.exitCode, 3u) << admin.output;
    EXPECT_NE(admin.output.find("first=1 second=1 elevation=2 direct=1"), std::string::npos)
        << admin.output;
    EXPECT_EQ(admin.log.find(L"IsUserInAdminGroup"), std::wstring::npos);

    // A standard user: the Administrators group only denies, no linked token.
    const AdminProbeRun user = RunAdminProbe(L"", L"");
    EXPECT_EQ(user.exitCode, 0u) << user.output;
    EXPECT_NE(user.output.find("first=0 second=0"), std::string::npos) << user.output;
    EXPECT_NE(user.output.find("direct=0"), std::string::npos) << user.output;
    EXPECT_EQ(user.log.find(L"IsUserInAdminGroup"), std::wstring::npos);

    // An administrator without elevation: the filtered token is no member, but
    // its linked full token is, and that one decides.
    const AdminProbeRun filtered = RunAdminProbe(L"--filtered ", L"");
    EXPECT_EQ(filtered.exitCode, 3u) << filtered.output;
    EXPECT_NE(filtered.output.find("elevation=3 direct=0"), std::string::npos) << filtered.output;
}

TEST(AdminCheck, FailedCheckIsLoggedOnceAndAnsweredFalseForTheProcess) {
    // The token cannot be opened for duplication: access denied, logged once,
    // and the second call answers from the cache without a second line.
    const AdminProbeRun run = RunAdminProbe(L"-", L"--deny-duplicate ");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("first=0 second=0"), std::string::npos) << run.output;
    const std::wstring line = L"IsUserInAdminGroup failed w/err 5\r\n";
    EXPECT_EQ(CountOccurrences(run.log, line), 1u) << testing_support::ToUtf8(run.log);
    EXPECT_NE(run.log.find(L"[E 00/0000006B/"), std::wstring::npos)
        << testing_support::ToUtf8(run.log);
}
