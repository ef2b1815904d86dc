// Running-client shutdown against real stand-in client processes and windows.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/installer_app.h"
#include "integration/client_contract.h"
#include "integration/running_clients.h"
#include "integration/stand_in_control.h"
#include "logging/logger.h"
#include "support/test_support.h"

using testing_support::ChildProcess;
using testing_support::TempFolder;

namespace {

int32_t CountNamed(const wchar_t* name, void (*walk)(ProcessHandler, void*) = ForEachProcess) {
    ClientProcessCounter counter;
    counter.name = name;
    walk(CountProcessesNamed, &counter);
    return counter.count;
}

// The handle of the snapshot walk grants termination only, so a process is
// known here by the name it was reported with.
void CollectProcessName(HANDLE /*process*/, const wchar_t* imageName, void* context) {
    static_cast<std::vector<std::wstring>*>(context)->push_back(imageName);
}

size_t TimesSeen(const std::vector<std::wstring>& seen, const std::wstring& name) {
    return static_cast<size_t>(std::count(seen.begin(), seen.end(), name));
}

ULONGLONG ElapsedMs(ULONGLONG start) {
    return GetTickCount64() - start;
}

}  // namespace

TEST(RunningClientShutdown, MarkedClientsEndThemselvesOnTheCloseMessage) {
    TempFolder folder;
    const std::wstring client = stand_in::PlaceClient(folder.Path(), kVuClientExe);
    const std::wstring hub = stand_in::PlaceClient(folder.Path(), kDeskHubClientExe);
    ChildProcess clientProcess, hubProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(clientProcess, client));
    ASSERT_TRUE(stand_in::StartClientWindow(hubProcess, hub));
    EXPECT_EQ(CountNamed(kVuClientExe), 1);
    EXPECT_EQ(CountNamed(kDeskHubClientExe), 1);

    const ULONGLONG start = GetTickCount64();
    CloseRunningClients();
    EXPECT_LT(ElapsedMs(start), 5000u);

    // Exit code 0 is the clients' own: terminated ones would read 0xFFFFFFFF.
    EXPECT_EQ(clientProcess.Wait(5000), 0u);
    EXPECT_EQ(hubProcess.Wait(5000), 0u);
    const auto clientClose = stand_in::RecordsOf(folder.Path(), clientProcess.Id(), L"close");
    ASSERT_EQ(clientClose.size(), 1u);
    EXPECT_EQ(clientClose[0].fields.at(0), kVuClientWindowProperty);
    const auto hubClose = stand_in::RecordsOf(folder.Path(), hubProcess.Id(), L"close");
    ASSERT_EQ(hubClose.size(), 1u);
    EXPECT_EQ(hubClose[0].fields.at(0), kLauncherWindowProperty);
    EXPECT_EQ(CountNamed(kVuClientExe), 0);
    EXPECT_EQ(CountNamed(kDeskHubClientExe), 0);
}

TEST(RunningClientShutdown, ClientsStillRunningAfterTheRequestAreTerminated) {
    // A client that handles the message and stays, with both marks on one window.
    TempFolder staying;
    stand_in::WriteClientSettings(
        staying.Path(), "[client]\r\nOnClose=ignore\r\nProperties=N4_Launcher,N4_VuClient\r\n");
    const std::wstring stayingClient = stand_in::PlaceClient(staying.Path(), kVuClientExe);
    // A client whose window carries no mark.
    TempFolder unmarked;
    stand_in::WriteClientSettings(unmarked.Path(), "[client]\r\nProperties=\r\n");
    const std::wstring unmarkedHub = stand_in::PlaceClient(unmarked.Path(), kDeskHubClientExe);
    // A marked message-only window: EnumWindows never reaches it.
    TempFolder messageOnly;
    stand_in::WriteClientSettings(messageOnly.Path(), "[client]\r\nMessageOnly=1\r\n");
    const std::wstring hiddenClient = stand_in::PlaceClient(messageOnly.Path(), kVuClientExe);
    // A marked program of another name: it gets the message but is not terminated.
    TempFolder other;
    stand_in::WriteClientSettings(other.Path(),
                                  "[client]\r\nOnClose=ignore\r\nProperties=N4_VuClient\r\n");
    const std::wstring otherProgram = stand_in::PlaceClient(other.Path(), L"OtherClient.exe");

    ChildProcess stayingProcess, unmarkedProcess, messageOnlyProcess, otherProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(stayingProcess, stayingClient));
    ASSERT_TRUE(stand_in::StartClientWindow(unmarkedProcess, unmarkedHub));
    ASSERT_TRUE(stand_in::StartClientWindow(messageOnlyProcess, hiddenClient));
    ASSERT_TRUE(stand_in::StartClientWindow(otherProcess, otherProgram));

    const ULONGLONG start = GetTickCount64();
    CloseRunningClients();
    EXPECT_LT(ElapsedMs(start), 5000u);

    EXPECT_EQ(stayingProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_EQ(unmarkedProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_EQ(messageOnlyProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_TRUE(otherProcess.IsRunning());

    // The doubly marked window was asked twice; unmarked and message-only never.
    EXPECT_EQ(stand_in::RecordsOf(staying.Path(), stayingProcess.Id(), L"close").size(), 2u);
    EXPECT_TRUE(stand_in::RecordsOf(unmarked.Path(), unmarkedProcess.Id(), L"close").empty());
    EXPECT_TRUE(stand_in::RecordsOf(messageOnly.Path(), messageOnlyProcess.Id(), L"close").empty());
    EXPECT_EQ(stand_in::RecordsOf(other.Path(), otherProcess.Id(), L"close").size(), 1u);
    // Terminated clients never reached their own exit.
    EXPECT_TRUE(stand_in::RecordsOf(staying.Path(), stayingProcess.Id(), L"exit").empty());
}

TEST(RunningClientShutdown, HungWindowCostsItsTimeoutAndNoMore) {
    // Launcher-marked windows are asked first: the hung hub delays the client's turn.
    TempFolder hung;
    stand_in::WriteClientSettings(hung.Path(), "[client]\r\nOnClose=hang\r\n");
    const std::wstring hungHub = stand_in::PlaceClient(hung.Path(), kDeskHubClientExe);
    TempFolder normal;
    const std::wstring client = stand_in::PlaceClient(normal.Path(), kVuClientExe);
    ChildProcess hungProcess, clientProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(hungProcess, hungHub));
    ASSERT_TRUE(stand_in::StartClientWindow(clientProcess, client));

    const ULONGLONG start = GetTickCount64();
    CloseRunningClients();
    const ULONGLONG elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, kCloseRequestTimeoutMs - 200);
    EXPECT_LT(elapsed, kCloseRequestTimeoutMs + 3000);

    EXPECT_EQ(hungProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_EQ(clientProcess.Wait(5000), 0u);
    EXPECT_EQ(stand_in::RecordsOf(normal.Path(), clientProcess.Id(), L"close").size(), 1u);
}

TEST(RunningClientShutdown, ClientsThatCannotBeOpenedAreLeftAlone) {
    // Looks like another user's client: no termination, no memory reading.
    TempFolder foreign;
    stand_in::WriteClientSettings(foreign.Path(), "[client]\r\nProtected=1\r\nProperties=\r\n");
    const std::wstring foreignClient = stand_in::PlaceClient(foreign.Path(), kVuClientExe);
    ChildProcess foreignProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(foreignProcess, foreignClient));
    ASSERT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, foreignProcess.Id()), nullptr);

    EXPECT_EQ(CountNamed(kVuClientExe), 0);
    EXPECT_EQ(CountNamed(kVuClientExe, ForEachProcessById), 0);
    CloseRunningClients();
    const wchar_t* const names[] = {kVuClientExe};
    ProcessNameList list{names, 1};
    ForEachProcessById(TerminateProcessesNamed, &list);
    EXPECT_EQ(foreignProcess.Wait(1000), std::nullopt);
    EXPECT_TRUE(foreignProcess.IsRunning());
}

TEST(ProcessList, FindsProcessesByNameWithoutRegardToCase) {
    TempFolder first, second, third;
    const std::wstring exact = stand_in::PlaceClient(first.Path(), kVuClientExe);
    const std::wstring lower = stand_in::PlaceClient(second.Path(), L"vuclient.EXE");
    const std::wstring hub = stand_in::PlaceClient(third.Path(), kDeskHubClientExe);
    ChildProcess exactProcess, lowerProcess, hubProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(exactProcess, exact));
    ASSERT_TRUE(stand_in::StartClientWindow(lowerProcess, lower));
    ASSERT_TRUE(stand_in::StartClientWindow(hubProcess, hub));

    // Both walks see every process under its image name, this test's own included.
    for (auto walk : {ForEachProcess, ForEachProcessById}) {
        std::vector<std::wstring> seen;
        walk(CollectProcessName, &seen);
        EXPECT_EQ(TimesSeen(seen, kVuClientExe), 1u);
        EXPECT_EQ(TimesSeen(seen, L"vuclient.EXE"), 1u);
        EXPECT_EQ(TimesSeen(seen, kDeskHubClientExe), 1u);
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        EXPECT_EQ(TimesSeen(seen, wcsrchr(self, L'\\') + 1), 1u);

        EXPECT_EQ(CountNamed(kVuClientExe, walk), 2);
        EXPECT_EQ(CountNamed(L"VUCLIENT.EXE", walk), 2);
        EXPECT_EQ(CountNamed(kDeskHubClientExe, walk), 1);
        EXPECT_EQ(CountNamed(L"VuClient.ex", walk), 0);  // whole names only
        EXPECT_EQ(CountNamed(nullptr, walk), 0);
    }
    ForEachProcess(CountProcessesNamed, nullptr);
    ForEachProcess(TerminateProcessesNamed, nullptr);

    // Only the listed names are terminated, whatever their case.
    const wchar_t* const names[] = {L"VUCLIENT.exe"};
    ProcessNameList list{names, 1};
    ForEachProcess(TerminateProcessesNamed, &list);
    EXPECT_EQ(exactProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_EQ(lowerProcess.Wait(5000), kTerminatedClientExitCode);
    EXPECT_TRUE(hubProcess.IsRunning());

    // Only A-Z fold: other letters must match exactly.
    EXPECT_TRUE(ImageNamesEqual(L"DESKHubClient.exe", L"deskhubclient.EXE"));
    EXPECT_FALSE(ImageNamesEqual(L"\u00C9.exe", L"\u00E9.exe"));
    EXPECT_FALSE(ImageNamesEqual(L"VuClient.exe", nullptr));
}

TEST(RunningClientShutdown, NothingRunningMeansNothingToDo) {
    TempFolder other;
    const std::wstring otherProgram = stand_in::PlaceClient(other.Path(), L"OtherClient.exe");
    ChildProcess otherProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(otherProcess, otherProgram));
    EXPECT_EQ(CountNamed(kVuClientExe), 0);
    EXPECT_EQ(CountNamed(kDeskHubClientExe), 0);
    const ULONGLONG start = GetTickCount64();
    CloseRunningClients();
    EXPECT_LT(ElapsedMs(start), 3000u);
    // Its window is marked N4_Launcher but it is no client: it closes itself, unforced.
    EXPECT_EQ(otherProcess.Wait(5000), 0u);
}

TEST(RunningClientDetection, FlagsTellWhichClientsRunNotHowMany) {
    TempFolder logFolder;
    const std::wstring logPath = logFolder / L"log.txt";
    LogInitialize(logPath.c_str());
    CBasicClientInstallerApp app(L"-i");

    app.RestartVuClient = 7;
    app.RestartWVuClient = 7;
    app.DetectRunningClients();
    EXPECT_EQ(app.RestartVuClient, 0);
    EXPECT_EQ(app.RestartWVuClient, 0);

    TempFolder first, second;
    const std::wstring one = stand_in::PlaceClient(first.Path(), kVuClientExe);
    const std::wstring two = stand_in::PlaceClient(second.Path(), L"VUCLIENT.exe");
    ChildProcess oneProcess, twoProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(oneProcess, one));
    ASSERT_TRUE(stand_in::StartClientWindow(twoProcess, two));
    app.DetectRunningClients();
    EXPECT_EQ(app.RestartVuClient, 1);
    EXPECT_EQ(app.RestartWVuClient, 0);
    CloseRunningClients();
    EXPECT_EQ(oneProcess.Wait(5000), 0u);
    EXPECT_EQ(twoProcess.Wait(5000), 0u);

    TempFolder hubFolder;
    const std::wstring hub = stand_in::PlaceClient(hubFolder.Path(), kDeskHubClientExe);
    ChildProcess hubProcess;
    ASSERT_TRUE(stand_in::StartClientWindow(hubProcess, hub));
    app.DetectRunningClients();
    EXPECT_EQ(app.RestartVuClient, 0);
    EXPECT_EQ(app.RestartWVuClient, 1);

    const std::wstring log = testing_support::ReadUtf16File(logPath);
    const std::wstring header = L"[I 21/0000006F/";
    size_t lines = 0;
    for (size_t at = log.find(header); at != std::wstring::npos; at = log.find(header, at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 3u) << testing_support::ToUtf8(log);
    const size_t none = log.find(L"RestartVuClient = 0, RestartWVuClient = 0\r\n");
    const size_t vu = log.find(L"RestartVuClient = 1, RestartWVuClient = 0\r\n");
    const size_t hubLine = log.find(L"RestartVuClient = 0, RestartWVuClient = 1\r\n");
    ASSERT_NE(none, std::wstring::npos);
    ASSERT_NE(vu, std::wstring::npos);
    ASSERT_NE(hubLine, std::wstring::npos);
    EXPECT_LT(none, vu);
    EXPECT_LT(vu, hubLine);
}
