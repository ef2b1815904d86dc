#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/release_manifest.h"
#include "app/uninstall_entry.h"
#include "e2e/scenario.h"
#include "fs/fs_test_helpers.h"

using namespace e2e;
using namespace testing_support;

namespace {

const std::wstring kNotApart = L") is not apart from the install folder (";
const std::wstring kZoneStream = L":Zone.Identifier";
const std::wstring kSettingsNotKept =
    L"The user's settings could not be backed up; nothing is deleted or installed";

std::wstring ClientSwitchRuns(const Scenario& scenario) {
    // start <exe> <pid> <time> switch <switch> <show> <arguments> ...: the whole argument text.
    std::wstring runs;
    for (const auto& line : scenario.ClientRecords()) {
        if (line.rfind(L"start\tVuClient.exe", 0) != 0) continue;
        const auto fields = SplitFields(line);
        if (fields.size() > 7 && fields[4] == L"switch") runs += fields[7] + L";";
    }
    return runs;
}

// Window runs (a client started with no arguments) recorded for the exe.
size_t WindowStarts(const Scenario& scenario, const std::wstring& exe) {
    size_t count = 0;
    for (const auto& line : scenario.ClientRecords()) {
        if (line.rfind(L"start\t" + exe + L"\t", 0) == 0 &&
            line.find(L"\twindow\t") != std::wstring::npos) {
            ++count;
        }
    }
    return count;
}

void ExpectInstalled(const Scenario& scenario) {
    const std::wstring install = scenario.InstallFolder();
    for (const wchar_t* file :
         {L"Uninstall.exe", L"VuClient.exe", L"DESKHubClient.exe", L"KivClientSystem.dll"}) {
        EXPECT_TRUE(FileExists(install + L"\\" + file)) << ToUtf8(file);
    }
    EXPECT_EQ(ReadString(L"Software\\Classes\\.n4a", L""), L"VuClient.Document");
    EXPECT_EQ(ReadString(L"Software\\Classes\\kivclient\\shell\\open\\command", L""),
              L"\"" + install + L"\\VuClient.exe\" urlSchema \"%1\"");
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The installed-apps entry as the shell's list reads it; icon relative to the install folder.
void ExpectUninstallEntry(const Scenario& scenario, const std::wstring& name,
                          const std::wstring& publisher, const std::wstring& icon,
                          const std::wstring& version) {
    const std::wstring install = scenario.InstallFolder();
    const std::wstring key = kUninstallEntryKey;
    EXPECT_EQ(ReadString(key, L"DisplayName"), name);
    EXPECT_EQ(ReadString(key, L"Publisher"), publisher);
    EXPECT_EQ(ReadString(key, L"DisplayIcon"), install + L"\\" + icon);
    EXPECT_EQ(ReadString(key, L"DisplayVersion"), version);
    EXPECT_EQ(ReadString(key, L"InstallLocation"), install);
    EXPECT_EQ(ReadString(key, L"UninstallString"), L"\"" + install + L"\\Uninstall.exe\" -u");
    EXPECT_EQ(ReadString(key, L"QuietUninstallString"),
              L"\"" + install + L"\\Uninstall.exe\" -u -q");
    EXPECT_EQ(ReadDword(key, L"NoModify"), 1u);
    EXPECT_EQ(ReadDword(key, L"NoRepair"), 1u);
    uint64_t bytes = 0;
    for (const auto& entry : ListTree(install)) {
        if (entry.back() != L'\\') bytes += FileSize(install + L"\\" + entry);
    }
    EXPECT_EQ(ReadDword(key, L"EstimatedSize"), (bytes + 1023) / 1024);
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t date[16];
    swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(ReadString(key, L"InstallDate"), date);
}

// A manifest of the payload listing the given files with their sizes. The
// install checks sizes only; the hashes stand in for the package's.
void WriteReleaseManifest(const std::wstring& payload, const std::vector<std::wstring>& files) {
    std::string text = "# release manifest\n";
    for (const auto& file : files) {
        text += std::string(64, 'a') + " " + std::to_string(FileSize(payload + L"\\" + file)) +
                " " + ToUtf8(file) + "\r\n";
    }
    WriteFileBytes(payload + L"\\" + kReleaseManifestName, text);
}

const std::vector<std::wstring> kPayloadFiles = {
    L"Uninstall.exe",          L"VuClient.exe",          L"DESKHubClient.exe",
    L"KivClientSystem.dll",    L"stand_in_client.ini",   L"stand_in_com_server.ini"};

// A release of a few thousand small files besides the usual ones, all listed
// in its manifest.
constexpr int kLargeReleaseFiles = 4000;

std::wstring MakeLargeRelease(const Scenario& scenario, const std::wstring& folder,
                              const std::vector<std::wstring>& clientSettings = {}) {
    scenario.MakePayload(folder, clientSettings);
    std::vector<std::wstring> files = kPayloadFiles;
    for (int i = 0; i < kLargeReleaseFiles; ++i) {
        files.push_back(L"data\\" + std::to_wstring(i) + L".txt");
        WriteFileBytes(folder + L"\\" + files.back(), "part " + std::to_string(i));
    }
    WriteReleaseManifest(folder, files);
    return folder;
}

size_t CountFiles(const std::wstring& folder) {
    size_t count = 0;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((folder + L"\\*.txt").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

size_t CountProcesses(const wchar_t* exe) {
    size_t count = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exe) == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

}  // namespace

TEST(Install, FirstInstallOnACleanAccount) {
    Scenario scenario;
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    // Unpacked from a download: the programs carry the zone they came from.
    const std::vector<std::wstring> programs = {L"Uninstall.exe", L"VuClient.exe",
                                                L"DESKHubClient.exe"};
    for (const std::wstring& program : programs) {
        WriteFileBytes(payload + L"\\" + program + kZoneStream, "[ZoneTransfer]\r\nZoneId=3\r\n");
    }
    const bool marked = FileExists(payload + L"\\VuClient.exe" + kZoneStream);
    std::printf("zone marks: %s\n", marked ? "kept by the file system" : "no streams here");
    // Started in the release folder, which it empties and removes.
    ASSERT_EQ(scenario.RunCommandLine(L"\"" + payload + L"\\Uninstall.exe\" -i", payload), 0u);

    const auto log = scenario.LogMessages();
    const std::wstring install = scenario.InstallFolder();
    EXPECT_TRUE(ContainsInOrder(
        log,
        {L"Installer set to Install", L"RestartVuClient = 0, RestartWVuClient = 0",
         L"Backing up file " + install + L"\\mysettings.xml ",
         L"Failed to copy file \n " + install + L"\\mysettings.xml to \n " + payload +
             L"\\mysettings.xml \nError: 0x3",
         L"Starting Client Install", L"szInstallDir " + install + L"\\", L"szPrivileged 0",
         L"szCLIENTUILEVELVAL 1", L"Registering N4ClientSystem.dll.",
         L"COM registration for KivClientSystem.dll returned 0",
         L"Registering N4ClientSystem.dll succeeded.", L"Registering N4A File Extension.",
         L"Registering N4A File Extension was Sucessfull", L"Registering Url Schema.",
         L"Registering Url Schema was Sucessfull",
         L"Installing latest Microsoft RDP Client control.",
         L"RDP control installation exited normally.", L"Exiting client install (0X00000000)"}))
        << ToUtf8(scenario.Root());
    EXPECT_EQ(CountStartingWith(log, L"Previous uninstaller not found"), 0u);

    ExpectInstalled(scenario);
    EXPECT_FALSE(FolderExists(payload)) << "the emptied installer folder is removed";
    // Installed, the programs start without the download's question.
    for (const std::wstring& program : programs) {
        EXPECT_FALSE(FileExists(install + L"\\" + program + kZoneStream)) << ToUtf8(program);
    }
    EXPECT_EQ(CountStartingWith(log, L"The mark of a download was taken off 3 installed files"),
              marked ? 1u : 0u);
    // Interactive: no " -silent"; the Defender exclusion run comes last.
    EXPECT_EQ(ClientSwitchRuns(scenario), L"-regmsocx;-regocx;-windefexcludeadd;");

    const std::wstring hub = install + L"\\DESKHubClient.exe";
    EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Quellmoor Client.lnk"), hub);
    EXPECT_EQ(LinkTarget(scenario.Programs() + L"\\Quellmoor\\Client\\Quellmoor Client.lnk"), hub);
    EXPECT_EQ(LinkTarget(scenario.Programs() + L"\\Quellmoor\\Client\\Uninstall.lnk"),
              install + L"\\Uninstall.exe");

    // Last, the installed-apps entry; the stand-in client has no version
    // resource, so the installer's own version stands in.
    EXPECT_EQ(log.back(), L"Installed-apps entry HKCU\\" + std::wstring(kUninstallEntryKey) +
                              L" written (Quellmoor Client, version 1.0.0.0).");
    ExpectUninstallEntry(scenario, L"Quellmoor Client", L"Quellmoor", L"VuClient.exe", L"1.0.0.0");
}

TEST(Install, UpgradeOverARunningInstall) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring install = scenario.InstallFolder();
    WriteFileBytes(install + L"\\mysettings.xml", "<settings user=\"kept\"/>");
    ChildProcess running = scenario.Start(install + L"\\VuClient.exe");
    ASSERT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 1; }));
    ASSERT_TRUE(WaitUntil(
        [&] { return CountStartingWith(scenario.ClientRecords(), L"window\tVuClient.exe") == 1; }));

    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Second");
    CopyFileW((BinFolder() + L"\\VuClientVersioned.exe").c_str(),
              (payload + L"\\VuClient.exe").c_str(), FALSE);
    const size_t recordsBefore = scenario.LogRecords().size();
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_TRUE(running.Wait(10000).has_value()) << "the running client was closed";

    const auto log = scenario.LogMessages();
    const std::vector<std::wstring> upgrade(log.begin() + recordsBefore, log.end());
    EXPECT_TRUE(ContainsInOrder(
        upgrade,
        {L"Installer set to Install", L"RestartVuClient = 1, RestartWVuClient = 0",
         L"Backing up file " + install + L"\\mysettings.xml ", L"File backed up successfully",
         // The old uninstaller appends to the same log.
         L"Installer set to Uninstall", L"Installer set to Quiet", L"Installer set to upgrade",
         L"Exiting client uninstall (0X00000000)", L"Starting Client Install",
         L"Exiting client install (0X00000000)"}));
    // The old uninstaller ran in a process of its own.
    const auto records = scenario.LogRecords();
    const auto processOf = [](const std::wstring& record) {
        const size_t p = record.find(L"/P");
        return record.substr(p, record.find_first_of(L"/]", p + 2) - p);
    };
    std::wstring installerProcess, uninstallerProcess;
    for (size_t i = recordsBefore; i < records.size(); ++i) {
        if (records[i].find(L"Installer set to Install") != std::wstring::npos)
            installerProcess = processOf(records[i]);
        if (records[i].find(L"Installer set to upgrade") != std::wstring::npos)
            uninstallerProcess = processOf(records[i]);
    }
    EXPECT_FALSE(uninstallerProcess.empty());
    EXPECT_NE(installerProcess, uninstallerProcess);

    ExpectInstalled(scenario);
    EXPECT_EQ(ReadFileBytes(install + L"\\mysettings.xml"), "<settings user=\"kept\"/>");
    // The client that was running is started again from the new install folder.
    EXPECT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 2; }));
    EXPECT_EQ(WindowStarts(scenario, L"DESKHubClient.exe"), 0u);
    // The old uninstaller ran as an upgrade and left the entry; the new
    // install wrote it again with the new client's version.
    EXPECT_EQ(CountStartingWith(upgrade, L"Installed-apps entry HKCU"), 1u);
    EXPECT_EQ(ReadString(kUninstallEntryKey, L"DisplayVersion"), L"4.2.0.7");
}

TEST(Install, FormerVersionInTheClientDataFolder) {
    Scenario scenario;
    const std::wstring data = scenario.ClientDataFolder();
    CreateDirectoryW(data.c_str(), nullptr);
    CopyFileW((BinFolder() + L"\\Uninstall.exe").c_str(), (data + L"\\Uninstall.exe").c_str(),
              FALSE);
    WriteFileBytes(data + L"\\mysettings.xml", "from the client data folder");
    // The install folder holds a settings file too: the client data folder's wins.
    const std::wstring install = scenario.InstallFolder();
    CreateDirectoryW(install.c_str(), nullptr);
    WriteFileBytes(install + L"\\mysettings.xml", "from the old install folder");

    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    // The former version's uninstaller runs first and deletes the old install
    // folder itself, so no uninstaller is looked for there afterwards.
    EXPECT_TRUE(ContainsInOrder(
        log, {L"Backing up file " + data + L"\\mysettings.xml ", L"File backed up successfully",
              L"Installer set to upgrade", L"Exiting client uninstall (0X00000000)",
              L"Starting Client Install", L"Exiting client install (0X00000000)"}));
    EXPECT_EQ(CountStartingWith(log, L"Previous uninstaller not found"), 0u);
    EXPECT_EQ(ReadFileBytes(install + L"\\mysettings.xml"), "from the client data folder");
    // The client data folder itself is never deleted by an install.
    EXPECT_TRUE(FileExists(data + L"\\mysettings.xml"));
    EXPECT_TRUE(FileExists(data + L"\\Uninstall.exe"));
    ExpectInstalled(scenario);
}

TEST(Install, ClientDataFolderWithoutUninstaller) {
    Scenario scenario;
    const std::wstring data = scenario.ClientDataFolder();
    CreateDirectoryW(data.c_str(), nullptr);
    WriteFileBytes(data + L"\\mysettings.xml", "client data only");
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_TRUE(
        ContainsInOrder(log, {L"File backed up successfully",
                              L"Previous uninstaller not found '" + data + L"\\Uninstall.exe'",
                              L"Exiting client install (0X00000000)"}));
    EXPECT_EQ(ReadFileBytes(scenario.InstallFolder() + L"\\mysettings.xml"), "client data only");
    ExpectInstalled(scenario);
}

TEST(Install, BrandArchiveNamedInTheRegistry) {
    Scenario scenario;
    const std::wstring archive = scenario.Root() + L"\\brand.zip";
    CopyFileW((BinFolder() + L"\\e2e_brand.zip").c_str(), archive.c_str(), FALSE);
    WriteString(L"Software\\Quellmoor\\DeskHubClient\\Setup", L"BrandFileLocation", archive);

    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const std::wstring install = scenario.InstallFolder();
    EXPECT_TRUE(FileExists(install + L"\\Branding\\Brand.ini"));
    EXPECT_TRUE(FileExists(install + L"\\Branding\\Brand.ico"));
    const std::wstring hub = install + L"\\DESKHubClient.exe";
    EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Harbour Desk Client.lnk"), hub);
    EXPECT_EQ(LinkTarget(scenario.Programs() + L"\\Harbour Networks\\Client\\Harbour Desk.lnk"),
              hub);
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
    // The value is consumed.
    EXPECT_FALSE(ReadString(L"Software\\Quellmoor\\DeskHubClient\\Setup", L"BrandFileLocation"));
    ExpectUninstallEntry(scenario, L"Harbour Desk", L"Harbour Networks", L"Branding\\Brand.ico",
                         L"1.0.0.0");

    // The next install without an archive carries the installed brand over;
    // the old version's uninstall removes the desktop link, and the set-up
    // makes it again under the brand's name.
    const std::wstring second = scenario.MakePayload(scenario.Root() + L"\\Second");
    ASSERT_EQ(scenario.Run(second + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_TRUE(FileExists(install + L"\\Branding\\Brand.ini"));
    EXPECT_TRUE(FileExists(install + L"\\Branding\\readme.txt"));
    EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Harbour Desk Client.lnk"), hub);
    EXPECT_EQ(LinkTarget(scenario.Programs() + L"\\Harbour Networks\\Client\\Harbour Desk.lnk"),
              hub);
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));

    // A brand that cannot be carried over (another program holds its icon
    // without sharing) stops the next install before anything is deleted.
    fs_testing::HeldFile held(L"lock", install + L"\\Branding\\Brand.ico");
    ASSERT_TRUE(held.IsHeld());
    const std::wstring third = scenario.MakePayload(scenario.Root() + L"\\Third");
    ASSERT_EQ(scenario.Run(third + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_EQ(scenario.LogMessages().back(),
              L"The installed brand " + install + L"\\Branding cannot be carried over to " + third +
                  L"\\Branding; nothing is deleted or installed");
    EXPECT_TRUE(FileExists(install + L"\\Branding\\readme.txt"));
    EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Harbour Desk Client.lnk"), hub);
    EXPECT_TRUE(FileExists(third + L"\\Uninstall.exe"));
    EXPECT_FALSE(FolderExists(third + L"\\Branding.new"));
}

TEST(Install, BrandArchivesPackedFromDotByBsdtarAndZip) {
    for (const wchar_t* tool : {L"bsdtar", L"zip"}) {
        SCOPED_TRACE(ToUtf8(tool));
        Scenario scenario;
        // Shipped beside the installer: the payload's move takes it along.
        const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
        const std::wstring archive = payload + L"\\brand.zip";
        CopyFileW((BinFolder() + L"\\e2e_brand_dot_" + tool + L".zip").c_str(), archive.c_str(),
                  FALSE);
        WriteString(L"Software\\Quellmoor\\DeskHubClient\\Setup", L"BrandFileLocation", archive);
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

        const std::wstring install = scenario.InstallFolder();
        EXPECT_TRUE(FileExists(install + L"\\brand.zip"));
        EXPECT_EQ(ListTree(install + L"\\Branding"),
                  (std::vector<std::wstring>{L"Brand.ico", L"Brand.ini", L"readme.txt"}));
        EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Harbour Desk Client.lnk"),
                  install + L"\\DESKHubClient.exe");
        EXPECT_TRUE(FileExists(scenario.Programs() + L"\\Harbour Networks\\Client\\Harbour Desk.lnk"));

        // The uninstall takes the brand's links with their folders.
        ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q"), 0u);
        EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Harbour Desk Client.lnk"));
        EXPECT_FALSE(FolderExists(scenario.Programs() + L"\\Harbour Networks"));
    }
}

TEST(Install, BrandArchiveThatGivesNoBrandIsToldAndTheInstallGoesOn) {
    constexpr wchar_t kDamaged[] = L" cannot be opened, is empty or is damaged";
    // The fifth: a file in the place of the brand's copy in the install folder.
    // The last: TMP and TEMP unset, so that the system names the profile, whose
    // "Branding" folder is the user's.
    const struct {
        const wchar_t* name;
        const wchar_t* why;
        const wchar_t* payloadFile;
        bool withoutTemporaryFolder;
    } cases[] = {
        {L"brandtest_broken", kDamaged, nullptr, false},
        {L"brandtest_no_ini", L" holds no Brand.ini", nullptr, false},
        {L"missing", kDamaged, nullptr, false},
        {L"ziptest_windows_trailing_dot", kDamaged, nullptr, false},
        {L"brandtest_full", L" could not be copied into the install folder", L"Branding.new", false},
        {L"e2e_brand",
         L" was not extracted: the temporary folder is unknown or is one of the user's own folders",
         nullptr, true}};
    for (const auto& brand : cases) {
        const std::wstring name = brand.name;
        SCOPED_TRACE(ToUtf8(name));
        Scenario scenario;
        const std::wstring archive = scenario.Root() + L"\\" + name + L".zip";
        CopyFileW((BinFolder() + L"\\" + name + L".zip").c_str(), archive.c_str(), FALSE);
        WriteString(L"Software\\Quellmoor\\DeskHubClient\\Setup", L"BrandFileLocation", archive);
        const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
        if (brand.payloadFile != nullptr) {
            WriteFileBytes(payload + L"\\" + brand.payloadFile, "not a folder");
        }
        const std::wstring profile = scenario.Root() + L"\\Profile";
        EnvironmentChanges environment;
        if (brand.withoutTemporaryFolder) {
            CreateDirectoryW(profile.c_str(), nullptr);
            CreateDirectoryW((profile + L"\\Branding").c_str(), nullptr);
            WriteFileBytes(profile + L"\\Branding\\Brand.ini", "the user's own");
            environment = {{L"TMP", std::nullopt}, {L"TEMP", std::nullopt}, {L"USERPROFILE", profile}};
        }
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q", 180000, environment), 0u);

        const std::wstring why = brand.why;
        EXPECT_TRUE(ContainsInOrder(
            scenario.LogMessages(),
            {L"Brand archive " + archive + why +
                 L"; the brand stays as it was and no desktop link is made",
             L"Exiting client install (0X00000000)"}));
        EXPECT_FALSE(FolderExists(scenario.InstallFolder() + L"\\Branding"));
        EXPECT_TRUE(FileExists(scenario.Programs() + L"\\Quellmoor\\Client\\Quellmoor Client.lnk"));
        ExpectInstalled(scenario);
        if (brand.withoutTemporaryFolder) {
            EXPECT_EQ(ReadFileBytes(profile + L"\\Branding\\Brand.ini"), "the user's own");
        }
    }
}

TEST(Install, ReleaseManifestMovesOnlyTheListedFiles) {
    Scenario scenario;
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    WriteFileBytes(payload + L"\\Help\\guide.txt", "guide");
    WriteFileBytes(payload + L"\\notes.txt", "the user's own file, not part of the release");
    // And a file deeper than MAX_PATH, as a vendor's help tree may hold one.
    const std::wstring deep =
        L"Help\\" + std::wstring(110, L'd') + L"\\" + std::wstring(110, L'e') + L"\\deep.txt";
    WriteFileBytes(payload + L"\\" + deep, "deep");
    std::vector<std::wstring> listed = kPayloadFiles;
    listed.push_back(L"Help\\guide.txt");
    listed.push_back(deep);
    WriteReleaseManifest(payload, listed);
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_TRUE(ContainsInOrder(
        log,
        {L"Installer set to Quiet",
         L"Release manifest " + payload + L"\\" + kReleaseManifestName +
             L": all 8 listed files are present",
         L"RestartVuClient = 0, RestartWVuClient = 0", L"Exiting client install (0X00000000)"}));
    ExpectInstalled(scenario);
    const std::wstring install = scenario.InstallFolder();
    EXPECT_EQ(ReadFileBytes(install + L"\\Help\\guide.txt"), "guide");
    EXPECT_EQ(ReadFileBytes(install + L"\\" + deep), "deep");
    EXPECT_TRUE(FileExists(install + L"\\" + kReleaseManifestName));
    EXPECT_FALSE(FileExists(install + L"\\notes.txt"));
    // The unlisted file stays, and with it the release folder.
    EXPECT_EQ(ListTree(payload), std::vector<std::wstring>{L"notes.txt"});
}

TEST(Install, ReleaseManifestStopsBeforeAnythingChanges) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring install = scenario.InstallFolder();
    const auto installed = ListTree(install);
    ChildProcess running = scenario.Start(install + L"\\VuClient.exe");
    ASSERT_TRUE(WaitUntil(
        [&] { return CountStartingWith(scenario.ClientRecords(), L"window\tVuClient.exe") == 1; }));

    // An interrupted earlier run or a partly unpacked archive: a file is missing,
    // then a file is cut short.
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Second");
    WriteReleaseManifest(payload, kPayloadFiles);
    const std::wstring manifest = payload + L"\\" + kReleaseManifestName;
    const std::string hub = ReadFileBytes(payload + L"\\DESKHubClient.exe");
    DeleteFileW((payload + L"\\DESKHubClient.exe").c_str());
    const std::wstring unpackAgain =
        L"; nothing was changed. Unpack the release again into an empty folder and start the "
        L"install again.";
    const std::vector<std::wstring> expected = {
        L"Release file " + payload + L"\\DESKHubClient.exe listed in " + manifest + L" is missing" +
            unpackAgain,
        L"Release file " + payload + L"\\DESKHubClient.exe has 5 bytes where " + manifest +
            L" lists " + std::to_wstring(hub.size()) + unpackAgain};
    for (const std::wstring& record : expected) {
        const size_t before = scenario.LogRecords().size();
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
        const auto log = scenario.LogMessages();
        EXPECT_EQ(log.size(), before + 3) << "switch lines and the record only";
        EXPECT_EQ(log.back(), record);
        EXPECT_TRUE(running.IsRunning()) << "no client was closed";
        EXPECT_EQ(ListTree(install), installed);
        EXPECT_TRUE(FileExists(manifest));
        EXPECT_TRUE(FileExists(payload + L"\\Uninstall.exe"));
        WriteFileBytes(payload + L"\\DESKHubClient.exe", "short");
    }
}

TEST(Install, StandardUserWhoseComRegistrationFails) {
    Scenario scenario;
    const std::wstring payload =
        scenario.MakePayload(scenario.Root() + L"\\Setup", {}, {L"RegisterResult=0x80070005"});
    ChildProcess running = scenario.Start(payload + L"\\DESKHubClient.exe");
    ASSERT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"DESKHubClient.exe") == 1; }));
    ASSERT_EQ(scenario.RunAsStandardUser(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_TRUE(ContainsInOrder(
        log,
        {L"RestartVuClient = 0, RestartWVuClient = 1",
         L"COM registration for KivClientSystem.dll returned -2147024891",
         L"Registering N4ClientSystem.dll failed. Error: -2147024891.",
         L"Skipping RDP control installation as this user does not have administrative rights.",
         L"Exiting client install (0X80070005)"}));
    EXPECT_EQ(ClientSwitchRuns(scenario), L"-windefexcludeadd;");
    ExpectInstalled(scenario);
    // A failed registration starts no client again.
    Sleep(1000);
    EXPECT_EQ(WindowStarts(scenario, L"DESKHubClient.exe"), 1u);
}

TEST(Install, AdministratorWhoseControlRunOrComRegistrationFails) {
    // The second: the control's run succeeds, yet the COM server is not
    // registered, and that stays the install's result.
    const struct {
        const wchar_t* clientSetting;
        const wchar_t* comSetting;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"SwitchExitCode-regocx=3",
         nullptr,
         {L"Registering N4ClientSystem.dll succeeded.",
          L"Installing latest Microsoft RDP Client control.",
          L"Failed to install new RDP control. Error: 3.", L"Exiting client install (0X00000003)"}},
        {nullptr,
         L"RegisterResult=0x80070005",
         {L"Registering N4ClientSystem.dll failed. Error: -2147024891.",
          L"RDP control installation exited normally.", L"Exiting client install (0X80070005)"}}};
    for (const auto& failure : cases) {
        SCOPED_TRACE(ToUtf8(failure.lines.back()));
        Scenario scenario;
        std::vector<std::wstring> client, server;
        if (failure.clientSetting != nullptr) client.push_back(failure.clientSetting);
        if (failure.comSetting != nullptr) server.push_back(failure.comSetting);
        const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup", client, server);
        ChildProcess running = scenario.Start(payload + L"\\VuClient.exe");
        ASSERT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 1; }));
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

        EXPECT_TRUE(ContainsInOrder(scenario.LogMessages(), failure.lines));
        // Quiet: both control switches with " -silent", the Defender switch alone.
        EXPECT_EQ(ClientSwitchRuns(scenario),
                  L"-regmsocx -silent;-regocx -silent;-windefexcludeadd;");
        EXPECT_FALSE(KeyExists(kUninstallEntryKey));
        Sleep(1000);
        EXPECT_EQ(WindowStarts(scenario, L"VuClient.exe"), 1u);
    }
}

TEST(Install, AdministratorWhoseClientCannotStart) {
    Scenario scenario;
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    ASSERT_TRUE(DeleteFileW((payload + L"\\VuClient.exe").c_str()));
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    // The launch failure is an error record, and the install's result is its
    // system error (file not found), not a success.
    const std::wstring launchFailed =
        L"Failed to launch VuClient for RDP control installation. Error: 2.";
    EXPECT_TRUE(ContainsInOrder(scenario.LogMessages(),
                                {L"Installing latest Microsoft RDP Client control.", launchFailed,
                                 launchFailed, L"Failed to install new RDP control. Error: 2.",
                                 L"Exiting client install (0X00000002)"}));
    const auto records = scenario.LogRecords();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const std::wstring& record) {
        return record.rfind(L"[E 21/0000000B/", 0) == 0 &&
               record.find(launchFailed) != std::wstring::npos;
    }));
}

TEST(Install, InstallerOnAnotherVolume) {
    if (!FolderExists(L"Y:\\")) GTEST_SKIP() << "no second volume Y: in this prefix";
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    ChildProcess running = scenario.Start(scenario.InstallFolder() + L"\\VuClient.exe");
    ASSERT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 1; }));
    TempFolder unused;
    const std::wstring payload = L"Y:\\" + unused.Path().substr(unused.Path().rfind(L'\\') + 1);
    scenario.MakePayload(payload);
    const size_t recordsBefore = scenario.LogRecords().size();
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    // Refused before anything changes: the old installation and the running
    // client stay, the payload stays where it was.
    const auto log = scenario.LogMessages();
    EXPECT_EQ(log.size(), recordsBefore + 3) << "switch lines and the refusal only";
    EXPECT_EQ(log.back(), L"Installer folder (" + payload + L") is not on the volume of " +
                              scenario.Roaming() +
                              L", so its files cannot be moved there; nothing is installed");
    ExpectInstalled(scenario);
    EXPECT_TRUE(FileExists(payload + L"\\Uninstall.exe"));
    EXPECT_TRUE(running.IsRunning()) << "the running client was left alone";
    RemoveTree(payload);
}

TEST(Install, RefusedFromAFolderThatIsNotItsOwn) {
    // A release unpacked straight into a folder of the user's, or at a drive
    // root, would carry the user's files into the install folder.
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\Setup") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    CreateDirectoryW(scenario.ClientDataFolder().c_str(), nullptr);
    // Where the release's files lie, and the path the installer is started by.
    std::vector<std::pair<std::wstring, std::wstring>> folders = {
        {scenario.Downloads(), scenario.Downloads()},
        {scenario.Temp(), scenario.Temp()},
        {scenario.ClientDataFolder(), scenario.ClientDataFolder()}};
    if (FolderExists(L"Y:\\")) folders.push_back({L"Y:", L"Y:"});
    // The profile's lesser-known folders, as the shell of the test prefix has
    // them (made when missing, so that every case runs).
    for (const KNOWNFOLDERID* id : {&FOLDERID_Favorites, &FOLDERID_Links, &FOLDERID_SavedGames,
                                    &FOLDERID_Contacts, &FOLDERID_SavedSearches}) {
        PWSTR path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_CREATE, nullptr, &path)) &&
            FolderExists(path)) {
            folders.push_back({path, path});
        }
        CoTaskMemFree(path);
    }
    // Through a folder link, the folder whose content would move is Downloads.
    const std::wstring link = scenario.Root() + L"\\Linked Downloads";
    if (MakeFolderLink(link, scenario.Downloads())) {
        folders.push_back({scenario.Downloads(), link});
    } else {
        std::printf("no folder link could be made here; the linked case is left out\n");
    }
    for (const auto& [folder, runFrom] : folders) {
        SCOPED_TRACE(ToUtf8(runFrom));
        const std::wstring userFile =
            folder + L"\\report " + std::to_wstring(GetTickCount64()) + L".pdf";
        WriteFileBytes(userFile, "the user's own");
        const auto before = ListTree(folder);
        scenario.MakePayload(folder);
        const size_t recordsBefore = scenario.LogRecords().size();
        ASSERT_EQ(scenario.Run(runFrom + L"\\Uninstall.exe", L"-i -q"), 0u);

        const auto log = scenario.LogMessages();
        EXPECT_EQ(log.size(), recordsBefore + 3) << "switch lines and the refusal only";
        EXPECT_EQ(log.back().rfind(L"Installer folder (" + runFrom + kNotApart, 0), 0u)
            << ToUtf8(log.back());
        EXPECT_EQ(ReadFileBytes(userFile), "the user's own");
        for (const wchar_t* file :
             {L"Uninstall.exe", L"VuClient.exe", L"DESKHubClient.exe", L"KivClientSystem.dll",
              L"stand_in_client.ini", L"stand_in_com_server.ini"}) {
            EXPECT_TRUE(DeleteFileW((folder + L"\\" + file).c_str())) << ToUtf8(file);
        }
        EXPECT_TRUE(DeleteFileW(userFile.c_str()));
        EXPECT_EQ(ListTree(folder).size() + 1, before.size()) << "nothing else changed";
        ExpectInstalled(scenario);
    }
    RemoveFolderLink(link);
}

TEST(Install, SettingsThatCannotBeBackedUpStopTheInstall) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring settings = scenario.ClientDataFolder() + L"\\mysettings.xml";
    WriteFileBytes(settings, "<settings user=\"only copy\"/>");
    // Another program holds the file without sharing: it cannot be copied.
    auto held = std::make_unique<fs_testing::HeldFile>(L"lock", settings);
    ASSERT_TRUE(held->IsHeld());
    ChildProcess running = scenario.Start(scenario.InstallFolder() + L"\\VuClient.exe");
    ASSERT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 1; }));
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Second");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_TRUE(ContainsInOrder(log, {L"Failed to copy file \n " + settings + L" to \n " + payload +
                                          L"\\mysettings.xml \nError: 0x20",
                                      kSettingsNotKept}));
    EXPECT_EQ(log.back(), kSettingsNotKept);
    EXPECT_FALSE(FileExists(payload + L"\\mysettings.xml"));
    EXPECT_EQ(CountStartingWith(log, L"Installer set to upgrade"), 0u) << "no uninstall ran";
    ExpectInstalled(scenario);
    EXPECT_TRUE(FileExists(payload + L"\\Uninstall.exe"));
    // The client closed for the install is started again from the old install.
    EXPECT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 2; }));

    // A release file another program holds without sharing its deletion (a
    // document open in a viewer) would fail its move after the old install
    // is gone: the install stops before anything changes.
    held.reset();
    WriteFileBytes(payload + L"\\readme.txt", "read me");
    fs_testing::HeldFile viewer(L"lock", payload + L"\\readme.txt");
    ASSERT_TRUE(viewer.IsHeld());
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_EQ(
        scenario.LogMessages().back(),
        L"Release file " + payload +
            L"\\readme.txt is in use by another program and cannot "
            L"be moved; nothing is deleted or installed (close it, then start the install again)");
    ExpectInstalled(scenario);
    EXPECT_TRUE(FileExists(payload + L"\\Uninstall.exe"));
    EXPECT_TRUE(WaitUntil([&] { return WindowStarts(scenario, L"VuClient.exe") == 3; }));
}

TEST(Install, PreviousUninstallerThatOutlivesItsWaitIsEnded) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring install = scenario.InstallFolder();
    WriteFileBytes(install + L"\\mysettings.xml", "kept");
    // The installed version's client runs take 15 s: its uninstaller outlives
    // the 10 s it is given.
    WriteFileBytes(
        install + L"\\stand_in_client.ini",
        "[client]\r\nLog=" + ToUtf8(scenario.ClientRecord()) + "\r\nSwitchRunMs=15000\r\n");
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Second");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);

    auto log = scenario.LogMessages();
    EXPECT_TRUE(
        ContainsInOrder(log, {L"Installer set to upgrade",
                              L"Previous uninstaller '" + install +
                                  L"\\Uninstall.exe' still runs after 10 s; it is ended",
                              L"Starting Client Install", L"Exiting client install (0X00000000)"}));
    // Past the end of the old client run, the ended uninstaller deletes nothing.
    Sleep(6000);
    log = scenario.LogMessages();
    EXPECT_EQ(CountStartingWith(log, L"Exiting client uninstall"), 0u);
    ExpectInstalled(scenario);
    EXPECT_EQ(ReadFileBytes(install + L"\\mysettings.xml"), "kept");
}

TEST(Install, TwoInstallsStartedTogetherRunOneAfterTheOther) {
    Scenario scenario;
    // Client runs of a second each keep the first install busy while the
    // second starts.
    const std::wstring first =
        scenario.MakePayload(scenario.Root() + L"\\A", {L"SwitchRunMs=1000"});
    const std::wstring second =
        scenario.MakePayload(scenario.Root() + L"\\B", {L"SwitchRunMs=1000"});
    ChildProcess a = scenario.Start(first + L"\\Uninstall.exe", L"-i -q");
    ChildProcess b = scenario.Start(second + L"\\Uninstall.exe", L"-i -q");
    ASSERT_EQ(a.Wait(180000), 0u);
    ASSERT_EQ(b.Wait(180000), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_EQ(
        CountStartingWith(log, L"Waiting for another install or uninstall of this user to finish"),
        1u);
    // The second install waited for the whole first one, then upgraded it:
    // its previous uninstaller does not wait for the lock its parent holds.
    EXPECT_TRUE(ContainsInOrder(
        log, {L"Waiting for another install or uninstall of this user to finish",
              L"Exiting client install (0X00000000)", L"RestartVuClient = 0, RestartWVuClient = 0",
              L"Installer set to upgrade", L"Exiting client uninstall (0X00000000)",
              L"Exiting client install (0X00000000)"}));
    EXPECT_EQ(CountStartingWith(log, L"Previous uninstaller '"), 0u) << "none was ended";
    EXPECT_FALSE(FolderExists(first));
    EXPECT_FALSE(FolderExists(second));
    ExpectInstalled(scenario);
}

TEST(Install, NoUsableRoamingFolderChangesNothing) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\First") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Second");
    const auto payloadFiles = ListTree(payload);
    const std::wstring rootLog = L"C:\\HLXBasicClientLog.txt";
    // Unset, empty, and relative to the working folder, which holds "Roaming".
    for (const std::optional<std::wstring>& appData :
         {std::optional<std::wstring>(), std::optional<std::wstring>(L""),
          std::optional<std::wstring>(L"Roaming")}) {
        const bool relative = appData && !appData->empty();
        for (const std::wstring arguments : {L"-u -q", L"-i -q"}) {
            SCOPED_TRACE(
                ToUtf8((appData ? L"APPDATA=" + *appData : L"APPDATA unset") + L", " + arguments));
            DeleteFileW(rootLog.c_str());
            const std::wstring program = arguments == L"-i -q" ? payload : scenario.InstallFolder();
            ASSERT_EQ(scenario.Run(program + L"\\Uninstall.exe", arguments, 180000,
                                   {{L"APPDATA", appData}}),
                      0u);
            // The log keeps its fallback: the relative folder, else the drive root.
            const std::wstring text = ReadUtf16File(relative ? scenario.LogPath() : rootLog);
            const std::wstring refusal =
                L"The roaming application-data folder (APPDATA \"" + (relative ? *appData : L"") +
                L"\") is not an absolute, existing folder; nothing is changed";
            EXPECT_NE(text.find(refusal), std::wstring::npos)
                << ToUtf8(text.substr(text.size() > 2000 ? text.size() - 2000 : 0));
            EXPECT_EQ(ListTree(payload), payloadFiles);
            EXPECT_FALSE(FolderExists(L"C:\\QuellmoorClient"));
            ExpectInstalled(scenario);
            EXPECT_TRUE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
        }
    }
    DeleteFileW(rootLog.c_str());
    RemoveTree(L"C:\\QuellmoorClient");
}

TEST(Install, RefusedFromInsideTheInstallFolder) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\Setup") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const size_t recordsBefore = scenario.LogRecords().size();
    const std::wstring install = scenario.InstallFolder();
    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-i -q"), 0u);

    const auto log = scenario.LogMessages();
    ASSERT_GT(log.size(), recordsBefore);
    EXPECT_EQ(log.size(), recordsBefore + 3) << "switch lines and the refusal only";
    EXPECT_EQ(log.back().rfind(
                  L"Installer folder (" + install + L") is not apart from the install folder (", 0),
              0u)
        << ToUtf8(log.back());
    ExpectInstalled(scenario);
}

TEST(Install, KilledAtAnyPointThenStartedAgain) {
    Scenario scenario;
    ASSERT_EQ(scenario.Run(scenario.MakePayload(scenario.Root() + L"\\Old") + L"\\Uninstall.exe",
                           L"-i -q"),
              0u);
    const std::wstring install = scenario.InstallFolder();
    // The user's only settings file lies in the install folder.
    const std::string settings = "<settings>the user's own</settings>";
    WriteFileBytes(install + L"\\mysettings.xml", settings);
    const std::wstring unpackAgain =
        L" is missing; nothing was changed. Unpack the release again into an empty folder and "
        L"start the install again.";

    struct KillPoint {
        const char* name;
        std::vector<std::wstring> clientSettings;
        std::function<bool(const std::wstring& release, size_t clientStarts)> reached;
    };
    const KillPoint points[] = {
        {"before the move", {},
         [&](const std::wstring& release, size_t) {
             return FileExists(release + L"\\mysettings.xml");
         }},
        {"in the middle of the move", {},
         // The former install's copy goes first, then the new one arrives.
         [&, gone = false](const std::wstring&, size_t) mutable {
             const bool there = FileExists(install + L"\\data\\20.txt");
             gone = gone || !there;
             return gone && there;
         }},
        {"during registration", {L"SwitchRunMs=3000"},
         [&](const std::wstring&, size_t clientStarts) {
             return CountStartingWith(scenario.ClientRecords(), L"start\tVuClient.exe") >
                    clientStarts;
         }},
    };
    int round = 0;
    for (const KillPoint& point : points) {
        SCOPED_TRACE(point.name);
        const std::wstring release = MakeLargeRelease(
            scenario, scenario.Root() + L"\\Release" + std::to_wstring(++round),
            point.clientSettings);
        const size_t clientStarts =
            CountStartingWith(scenario.ClientRecords(), L"start\tVuClient.exe");
        ChildProcess running = scenario.Start(release + L"\\Uninstall.exe", L"-i -q");
        // Polled without pause: moving a file is quick.
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (!point.reached(release, clientStarts) && GetTickCount64() < deadline) {
        }
        running.Terminate();
        ASSERT_TRUE(point.reached(release, clientStarts));
        // What the killed install started (a previous uninstaller, a client
        // run) ends on its own.
        EXPECT_TRUE(WaitUntil([] { return CountProcesses(L"Uninstall.exe") == 0; }, 30000));
        EXPECT_TRUE(WaitUntil([] { return CountProcesses(L"VuClient.exe") == 0; }, 30000));
        EXPECT_TRUE(ReadFileBytes(install + L"\\mysettings.xml") == settings ||
                    ReadFileBytes(release + L"\\mysettings.xml") == settings)
            << "the settings survive the kill";

        // Started again from the release folder while it still holds the installer.
        if (FileExists(release + L"\\Uninstall.exe")) {
            ASSERT_EQ(scenario.Run(release + L"\\Uninstall.exe", L"-i -q"), 0u);
        }
        const auto log = scenario.LogMessages();
        if (round == 2) {
            // A half-moved release folder is refused before anything changes.
            ASSERT_TRUE(FileExists(release + L"\\Uninstall.exe"))
                << CountFiles(release + L"\\data") << " files left unmoved";
            EXPECT_EQ(log.back().rfind(L"Release file " + release + L"\\", 0), 0u) << ToUtf8(log.back());
            EXPECT_TRUE(log.back().ends_with(unpackAgain)) << ToUtf8(log.back());
            EXPECT_EQ(ReadFileBytes(install + L"\\mysettings.xml"), settings)
                << "the settings went first";
        }
        if (round >= 2) {
            // The user unpacks the release again.
            const std::wstring again = MakeLargeRelease(
                scenario, scenario.Root() + L"\\Again" + std::to_wstring(round));
            ASSERT_EQ(scenario.Run(again + L"\\Uninstall.exe", L"-i -q"), 0u);
            EXPECT_FALSE(FolderExists(again));
        }
        EXPECT_EQ(scenario.LogMessages().end()[-2], L"Exiting client install (0X00000000)");
        ExpectInstalled(scenario);
        EXPECT_EQ(CountFiles(install + L"\\data"), static_cast<size_t>(kLargeReleaseFiles));
        EXPECT_EQ(ReadFileBytes(install + L"\\mysettings.xml"), settings);
    }
}

TEST(Install, RoamingFolderWithSpacesOtherScriptsAndLongPaths) {
    std::wstring roaming = L"Profile with spaces\\Данные пользователя\\用户 数据";
    for (int i = 0; i < 3; ++i) roaming += L"\\deep folder of the roaming profile " + std::to_wstring(i);
    Scenario scenario(roaming);
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    const std::wstring guide = L"Help\\pages of the guide to every part of the client\\first steps.txt";
    WriteFileBytes(payload + L"\\" + guide, "guide");
    const std::wstring install = scenario.InstallFolder();
    ASSERT_GT(install.size() + 1 + guide.size(), 260u);

    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_EQ(scenario.LogMessages().end()[-2], L"Exiting client install (0X00000000)");
    ExpectInstalled(scenario);
    EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + install + L"\\" + guide), "guide");
    EXPECT_EQ(ReadString(kUninstallEntryKey, L"InstallLocation"), install);
    // Wine's link object gives the path back with "?" for every letter outside
    // the ANSI code page (Windows keeps the letters); either is accepted.
    const std::wstring hub = install + L"\\DESKHubClient.exe";
    std::wstring lossy = hub;
    for (wchar_t& letter : lossy) {
        if (letter > 0x7F) letter = L'?';
    }
    const std::wstring target = LinkTarget(scenario.Desktop() + L"\\Quellmoor Client.lnk");
    EXPECT_TRUE(target == hub || target == lossy) << ToUtf8(target);
    std::printf("link target read back %s\n", target == hub ? "whole" : "with \"?\" (Wine)");

    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q"), 0u);
    EXPECT_TRUE(Contains(scenario.LogMessages(), L"Exiting client uninstall (0X00000000)"));
    EXPECT_FALSE(KeyExists(kUninstallEntryKey));
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
}

TEST(Install, RoamingFolderNamedWithATrailingSeparatorOrSlashes) {
    for (const bool slashes : {false, true}) {
        Scenario scenario;
        std::wstring appData = scenario.Roaming() + L"\\";
        if (slashes) std::replace(appData.begin(), appData.end(), L'\\', L'/');
        SCOPED_TRACE(ToUtf8(appData));
        const EnvironmentChanges environment = {{L"APPDATA", appData}};
        const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q", 180000, environment), 0u);

        const std::wstring install = scenario.InstallFolder();
        EXPECT_EQ(scenario.LogMessages().end()[-2], L"Exiting client install (0X00000000)");
        ExpectInstalled(scenario);
        EXPECT_EQ(ReadString(kUninstallEntryKey, L"InstallLocation"), install);
        EXPECT_EQ(ReadString(kUninstallEntryKey, L"UninstallString"),
                  L"\"" + install + L"\\Uninstall.exe\" -u");
        EXPECT_EQ(LinkTarget(scenario.Desktop() + L"\\Quellmoor Client.lnk"),
                  install + L"\\DESKHubClient.exe");

        ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q", 180000, environment), 0u);
        EXPECT_FALSE(KeyExists(kUninstallEntryKey));
        EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
        EXPECT_FALSE(FolderExists(scenario.Programs() + L"\\Quellmoor"));
        EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
    }
}
