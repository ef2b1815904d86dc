#include <gtest/gtest.h>

#include <algorithm>

#include "app/installer_app.h"
#include "app/uninstall_entry.h"
#include "e2e/scenario.h"
#include "fs/fs_test_helpers.h"

using namespace e2e;
using namespace testing_support;

namespace {

// Installs quietly from a fresh payload; returns the install folder.
std::wstring InstallQuietly(const Scenario& scenario) {
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    EXPECT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    EXPECT_TRUE(FileExists(scenario.InstallFolder() + L"\\Uninstall.exe"));
    return scenario.InstallFolder();
}

// The client's own per-user traces that a full uninstall removes: the Startup
// link, a listed link with its emptied folders, an association backup, caches.
struct ClientTraces {
    std::wstring startupLink, listedLink, listedFolder, cacheFile, iconFolder, settingsFile;
};

ClientTraces PlantClientTraces(const Scenario& scenario) {
    ClientTraces traces;
    traces.startupLink = scenario.Startup() + L"\\HLX Client.lnk";
    WriteFileBytes(traces.startupLink, "link");
    traces.listedFolder = scenario.Root() + L"\\Listed";
    traces.listedLink = traces.listedFolder + L"\\Deep\\Client.lnk";
    WriteFileBytes(traces.listedLink, "link");
    WriteDword(L"Software\\Quellmoor\\StartupShortcuts", traces.listedLink, 1);
    WriteDword(L"Software\\Quellmoor\\Shortcuts\\Group", scenario.Root() + L"\\missing.lnk", 0);
    WriteString(L"Software\\Quellmoor\\FileExts\\.rdx", L"KivBackupShortCut", L"OtherApp.rdx");
    WriteString(L"Software\\Classes\\.rdx", L"", L"KIVShortCut.rdx");
    WriteString(L"Software\\Classes\\KIVShortCut.rdx", L"", L"client's class");
    const std::wstring data = scenario.ClientDataFolder();
    traces.cacheFile = data + L"\\SessionIDs.cache";
    traces.iconFolder = data + L"\\ico";
    traces.settingsFile = data + L"\\mysettings.xml";
    WriteFileBytes(traces.cacheFile, "cache");
    WriteFileBytes(traces.iconFolder + L"\\a.ico", "icon");
    WriteFileBytes(traces.settingsFile, "settings");
    return traces;
}

void ExpectClassesRemoved() {
    EXPECT_FALSE(KeyExists(L"Software\\Classes\\VuClient.Document"));
    EXPECT_FALSE(KeyExists(L"Software\\Classes\\kivclient"));
    EXPECT_FALSE(KeyExists(L"Software\\Classes\\MIME\\Database\\Content Type\\application/x-n4a"));
    EXPECT_FALSE(KeyExists(L"Software\\Classes\\CLSID\\{7D6048FC-30BF-4B43-A6CF-AD23CA8F44D8}"));
}

}  // namespace

TEST(Uninstall, InteractiveAnsweredNoThenYes) {
    Scenario scenario;
    const std::wstring install = InstallQuietly(scenario);
    const std::wstring answerer =
        Quoted(BinFolder() + L"\\msgbox_answer.exe") + L" " + Quoted(kConfirmCaption) + L" ";

    ChildProcess no;
    ASSERT_TRUE(no.Start(answerer + L"no 60000"));
    const size_t before = scenario.LogRecords().size();
    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L""), 0u);
    EXPECT_EQ(no.Wait(60000), 0u);
    EXPECT_EQ(scenario.LogRecords().size(), before + 1) << "only the switch line";
    EXPECT_TRUE(FileExists(install + L"\\Uninstall.exe"));
    EXPECT_TRUE(FileExists(scenario.Programs() + L"\\Quellmoor\\Client\\Uninstall.lnk"));

    // Started the way the list of installed applications starts it: its
    // UninstallString as a command line, as written.
    const auto uninstallString = ReadString(kUninstallEntryKey, L"UninstallString");
    ASSERT_TRUE(uninstallString);
    ChildProcess yes;
    ASSERT_TRUE(yes.Start(answerer + L"yes 60000"));
    ASSERT_EQ(scenario.RunCommandLine(*uninstallString), 0u);
    EXPECT_EQ(yes.Wait(60000), 0u);
    EXPECT_TRUE(Contains(scenario.LogMessages(), L"szCLIENTUILEVELVAL 1"));
    EXPECT_FALSE(KeyExists(kUninstallEntryKey));
    ExpectClassesRemoved();
    EXPECT_FALSE(FolderExists(scenario.Programs() + L"\\Quellmoor"));
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
}

TEST(Uninstall, QuietRemovesTheClientAndItsTraces) {
    Scenario scenario;
    const std::wstring install = InstallQuietly(scenario);
    const ClientTraces traces = PlantClientTraces(scenario);
    // Names that only the "\\?\" form reaches (ending in a dot or a blank),
    // as a program writing through that form leaves them.
    CreateDirectoryW((L"\\\\?\\" + install + L"\\cache ").c_str(), nullptr);
    WriteFileBytes(L"\\\\?\\" + install + L"\\cache \\entry.", "odd");
    WriteFileBytes(L"\\\\?\\" + traces.iconFolder + L"\\b.ico.", "odd");
    ChildProcess running = scenario.Start(install + L"\\VuClient.exe");
    ASSERT_TRUE(WaitUntil(
        [&] { return CountStartingWith(scenario.ClientRecords(), L"window\tVuClient.exe") == 1; }));

    const size_t before = scenario.LogRecords().size();
    const auto quietUninstall = ReadString(kUninstallEntryKey, L"QuietUninstallString");
    ASSERT_TRUE(quietUninstall);
    // Started in the install folder, as a program opened in its folder is:
    // on Windows that folder cannot go while it is the uninstaller's current one.
    ASSERT_EQ(scenario.RunCommandLine(*quietUninstall, install), 0u);
    EXPECT_TRUE(running.Wait(10000).has_value()) << "the running client was closed";

    const auto all = scenario.LogMessages();
    const std::vector<std::wstring> log(all.begin() + before, all.end());
    EXPECT_TRUE(ContainsInOrder(
        log,
        {L"Installer set to Uninstall", L"Installer set to Quiet",
         L"szInstallDir " + install + L"\\", L"szCLIENTUILEVELVAL 0",
         L"Unregistering N4A File Extension.", L"UnRegistering N4A File Extension was Sucessfull",
         L"Unregistering Url Schema.", L"UnRegistering Url Schema was Sucessfull",
         L"Unregistering KivClientSystem.dll", L"Unregistering KivClientSystem.dll succeeded.",
         L"Skipping cleaning of DeskHubClient key from HKLM.",
         L"Cleaning every user's information.",
         L"Cleaning startup shortcut " + traces.startupLink + L".",
         L"Cleaning old shortcuts: Software\\Quellmoor\\StartupShortcuts.",
         L"Cleaning all old shortcuts: Software\\Quellmoor\\Shortcuts.",
         L"Cleaning old shortcuts: Software\\Quellmoor\\Shortcuts\\Group.",
         L"Reverting to original Microsoft RDP Client control.",
         L"RDP control installation exited normally.", L"Exiting client uninstall (0X00000000)",
         L"Installed-apps entry HKCU\\" + std::wstring(kUninstallEntryKey) + L" deleted."}));
    // Nothing failed, so nothing is logged as failing: the running uninstaller,
    // which cannot be deleted while it runs, is left to its helper.
    const auto records = scenario.LogRecords();
    EXPECT_EQ(CountStartingWith({records.begin() + before, records.end()}, L"[E "), 0u);

    ExpectClassesRemoved();
    EXPECT_FALSE(KeyExists(kUninstallEntryKey));
    EXPECT_FALSE(FolderExists(scenario.Programs() + L"\\Quellmoor"));
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
    EXPECT_FALSE(FileExists(traces.startupLink));
    EXPECT_FALSE(FolderExists(traces.listedFolder)) << "emptied parents of a listed link go";
    EXPECT_FALSE(FileExists(traces.cacheFile));
    EXPECT_FALSE(FolderExists(traces.iconFolder));
    EXPECT_TRUE(FileExists(traces.settingsFile)) << "the client's settings stay";
    EXPECT_EQ(ReadString(L"Software\\Classes\\.rdx", L""), L"OtherApp.rdx");
    EXPECT_FALSE(KeyExists(L"Software\\Classes\\KIVShortCut.rdx"));
    EXPECT_FALSE(KeyExists(L"Software\\Quellmoor\\FileExts\\.rdx"));
    // The running uninstaller itself is moved aside and deleted once it has
    // ended: nothing of it stays in the temporary folder either.
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
    EXPECT_TRUE(WaitUntil(
        [&] { return fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp").empty(); }, 20000));
}

TEST(Uninstall, UpgradeKeepsThePerUserData) {
    Scenario scenario;
    const std::wstring install = InstallQuietly(scenario);
    const ClientTraces traces = PlantClientTraces(scenario);
    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q -g"), 0u);

    const auto log = scenario.LogMessages();
    EXPECT_TRUE(Contains(log, L"Installer set to upgrade"));
    EXPECT_EQ(CountStartingWith(log, L"Cleaning every user's information."), 0u);
    ExpectClassesRemoved();
    EXPECT_TRUE(KeyExists(kUninstallEntryKey)) << "an upgrade keeps the installed-apps entry";
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Quellmoor Client.lnk"));
    // The Start-menu links go also on an upgrade; the client's own traces stay.
    EXPECT_FALSE(FolderExists(scenario.Programs() + L"\\Quellmoor"));
    EXPECT_TRUE(FileExists(traces.startupLink));
    EXPECT_TRUE(FileExists(traces.listedLink));
    EXPECT_TRUE(FileExists(traces.cacheFile));
    EXPECT_TRUE(KeyExists(L"Software\\Quellmoor\\FileExts\\.rdx"));
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
}

TEST(Uninstall, InstallFolderAlreadyGone) {
    Scenario scenario;
    // An uninstaller that is not in an install folder, and nothing installed.
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Loose");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-u -q"), 0u);
    const auto log = scenario.LogMessages();
    EXPECT_TRUE(ContainsInOrder(
        log, {L"UnRegistering N4A File Extension Failed", L"UnRegistering Url Schema Failed",
              L"Unregistering KivClientSystem.dll. Error: 126.",
              L"Exiting client uninstall (0X00000000)"}));
    EXPECT_FALSE(FolderExists(scenario.InstallFolder()));
    EXPECT_TRUE(FileExists(payload + L"\\Uninstall.exe")) << "nothing outside the install folder";
}

TEST(Uninstall, FileInUseInTheInstallFolderStopsNeitherUninstallNorReinstall) {
    fs_testing::PendingRenamesSnapshot pendingRenames;
    Scenario scenario;
    const std::wstring install = InstallQuietly(scenario);
    const std::wstring session = install + L"\\session.dat";
    WriteFileBytes(session, "held by a client that is not ours");
    fs_testing::HeldFile held(L"lock", session);
    ASSERT_TRUE(held.IsHeld());

    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q"), 0u);
    auto log = scenario.LogMessages();
    EXPECT_EQ(CountStartingWith(log, L"Failed to delete file \"" + session + L"\""), 1u);
    ExpectClassesRemoved();
    EXPECT_FALSE(FileExists(install + L"\\VuClient.exe"));
    EXPECT_FALSE(FileExists(install + L"\\KivClientSystem.dll"));
    // The file in use either stays where it was, with the install folder left
    // for the restart, or went with its folder to a placeholder in the
    // temporary folder (Windows refuses that move, Wine allows it).
    const auto placeholders = fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp");
    const bool stayed = FileExists(session);
    const bool moved = std::any_of(placeholders.begin(), placeholders.end(), [&](auto& name) {
        return FileExists(scenario.Temp() + L"\\" + name + L"\\session.dat");
    });
    EXPECT_TRUE(stayed || moved);
    if (stayed) {
        EXPECT_TRUE(fs_testing::IsPendingDeletion(install));
    } else {
        EXPECT_FALSE(FolderExists(install));
    }
    // No placeholder stays empty beside it, and the uninstaller's own goes.
    std::vector<std::wstring> others;
    EXPECT_TRUE(WaitUntil([&] {
        others.clear();
        for (const auto& name : fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp")) {
            if (!FileExists(scenario.Temp() + L"\\" + name + L"\\session.dat")) {
                others.push_back(name);
            }
        }
        return others.empty();
    }, 20000)) << others.size() << " other, first " << ToUtf8(others.empty() ? L"" : others[0]);

    // A new install over the leftover folder, the file still in use, goes through.
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Again");
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    log = scenario.LogMessages();
    EXPECT_EQ(log.end()[-2], L"Exiting client install (0X00000000)");
    EXPECT_EQ(CountStartingWith({log.back()}, L"Installed-apps entry HKCU"), 1u);
    EXPECT_TRUE(FileExists(install + L"\\VuClient.exe"));
    EXPECT_TRUE(KeyExists(L"Software\\Classes\\kivclient"));
    EXPECT_FALSE(FolderExists(payload));
}

TEST(Uninstall, KilledInTheMiddleThenRunAgain) {
    Scenario scenario;
    constexpr size_t kFiles = 3000;
    const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
    for (size_t i = 0; i < kFiles; ++i) {
        WriteFileBytes(payload + L"\\data\\" + std::to_wstring(i) + L".txt", "part");
    }
    ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q"), 0u);
    const std::wstring install = scenario.InstallFolder();
    const std::wstring settings = scenario.ClientDataFolder() + L"\\mysettings.xml";
    WriteFileBytes(settings, "settings");
    const auto dataFiles = [&] { return fs_testing::ListNames(install + L"\\data\\*.txt").size(); };
    ASSERT_EQ(dataFiles(), kFiles);

    ChildProcess running = scenario.Start(install + L"\\Uninstall.exe", L"-u -q");
    ASSERT_TRUE(WaitUntil([&] { return dataFiles() < kFiles - 300; }, 60000));
    running.Terminate();
    EXPECT_TRUE(FolderExists(install)) << "killed before the end";

    // Run again, from the install folder while it still holds the uninstaller.
    std::wstring again = install + L"\\Uninstall.exe";
    if (!FileExists(again)) {
        again = scenario.Root() + L"\\Loose\\Uninstall.exe";
        scenario.MakePayload(scenario.Root() + L"\\Loose");
    }
    // As a standard user, who cannot have files deleted at the next restart.
    const auto placeholders = [&] {
        auto names = fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp");
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto leftByTheKill = placeholders();
    const size_t before = scenario.LogRecords().size();
    ASSERT_EQ(scenario.RunAsStandardUser(again, L"-u -q"), 0u);
    const auto all = scenario.LogMessages();
    EXPECT_TRUE(ContainsInOrder({all.begin() + before, all.end()},
                                {L"Installer set to Uninstall", L"Exiting client uninstall (0X00000000)",
                                 L"Installed-apps entry HKCU\\" + std::wstring(kUninstallEntryKey) +
                                     L" deleted."}));
    EXPECT_FALSE(KeyExists(kUninstallEntryKey));
    ExpectClassesRemoved();
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
    EXPECT_TRUE(FileExists(settings));
    EXPECT_TRUE(WaitUntil(
        [&] { return placeholders() == leftByTheKill; },
        20000));
}

TEST(Uninstall, TemporaryFolderMissingOrUnset) {
    Scenario scenario;
    const std::wstring install = scenario.InstallFolder();
    const std::wstring settings = scenario.ClientDataFolder() + L"\\mysettings.xml";
    const std::wstring profile = scenario.Root() + L"\\Profile";
    const std::wstring missing = scenario.Root() + L"\\NoTemp";
    CreateDirectoryW(profile.c_str(), nullptr);
    const struct {
        const char* name;
        EnvironmentChanges environment;
        std::wstring placeholders;  // where the system's temporary files then go
    } cases[] = {
        {"missing", {{L"TEMP", missing}, {L"TMP", missing}}, scenario.Roaming()},
        {"unset", {{L"TEMP", std::nullopt}, {L"TMP", std::nullopt}, {L"USERPROFILE", profile}},
         profile},
    };
    for (const auto& variant : cases) {
        SCOPED_TRACE(variant.name);
        const std::wstring payload = scenario.MakePayload(scenario.Root() + L"\\Setup");
        ASSERT_EQ(scenario.Run(payload + L"\\Uninstall.exe", L"-i -q", 180000, variant.environment),
                  0u);
        EXPECT_EQ(scenario.LogMessages().end()[-2], L"Exiting client install (0X00000000)");
        EXPECT_TRUE(FileExists(install + L"\\VuClient.exe"));
        WriteFileBytes(settings, "settings");

        const size_t before = scenario.LogRecords().size();
        ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q", 180000, variant.environment),
                  0u);
        const auto all = scenario.LogMessages();
        EXPECT_TRUE(ContainsInOrder({all.begin() + before, all.end()},
                                    {L"Exiting client uninstall (0X00000000)",
                                     L"Installed-apps entry HKCU\\" +
                                         std::wstring(kUninstallEntryKey) + L" deleted."}));
        EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
        EXPECT_TRUE(WaitUntil(
            [&] { return fs_testing::ListNames(variant.placeholders + L"\\tpd*.tmp").empty(); },
            20000));
        EXPECT_FALSE(FolderExists(missing));
        EXPECT_EQ(ReadFileBytes(settings), "settings");
    }
}

TEST(Uninstall, LeavesWhatIsNotItsOwn) {
    Scenario scenario;
    const std::wstring install = InstallQuietly(scenario);
    ASSERT_FALSE(FolderExists(scenario.ClientDataFolder())) << "an account where the client never ran";
    // The user's folder elsewhere, reached through a link inside the install folder.
    const std::wstring outside = scenario.Root() + L"\\Outside";
    WriteFileBytes(outside + L"\\user.txt", "the user's");
    ASSERT_TRUE(MakeFolderLink(install + L"\\Linked", outside));
    // Listed links that are the last files in the Startup folder and on the desktop.
    for (const std::wstring& link : {scenario.Startup() + L"\\Only.lnk",
                                     scenario.Desktop() + L"\\Only.lnk"}) {
        WriteFileBytes(link, "link");
        WriteDword(L"Software\\Quellmoor\\StartupShortcuts", link, 1);
    }
    DeleteFileW((scenario.Desktop() + L"\\Quellmoor Client.lnk").c_str());
    // Another program has taken the URL scheme over since the install.
    const std::wstring otherCommand = L"\"C:\\Other\\other.exe\" \"%1\"";
    WriteString(L"Software\\Classes\\kivclient\\shell\\open\\command", L"", otherCommand);
    // Another program offers itself for the client's document type.
    const std::wstring openWith = L"Software\\Classes\\.n4a\\OpenWithProgids";
    WriteString(openWith, L"OtherApp.Document", L"");
    const auto placeholdersBefore = fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp");
    const size_t before = scenario.LogRecords().size();

    ASSERT_EQ(scenario.Run(install + L"\\Uninstall.exe", L"-u -q"), 0u);

    EXPECT_EQ(ReadFileBytes(outside + L"\\user.txt"), "the user's");
    EXPECT_EQ(ReadString(L"Software\\Classes\\kivclient\\shell\\open\\command", L""), otherCommand);
    EXPECT_EQ(ReadString(openWith, L"OtherApp.Document"), L"");
    EXPECT_FALSE(ReadString(L"Software\\Classes\\.n4a", L"").has_value());
    EXPECT_FALSE(Contains(scenario.LogMessages(), L"UnRegistering N4A File Extension Failed"));
    EXPECT_TRUE(
        Contains(scenario.LogMessages(),
                 L"URL scheme kivclient belongs to another program now; it is left as it is."));
    EXPECT_FALSE(FileExists(scenario.Startup() + L"\\Only.lnk"));
    EXPECT_FALSE(FileExists(scenario.Desktop() + L"\\Only.lnk"));
    EXPECT_TRUE(FolderExists(scenario.Startup()));
    EXPECT_TRUE(FolderExists(scenario.Desktop()));
    EXPECT_TRUE(WaitUntil([&] { return !FolderExists(install); }, 20000));
    // Nothing of the client data that never existed: no record, no placeholder.
    const auto records = scenario.LogRecords();
    for (size_t i = before; i < records.size(); ++i) {
        EXPECT_EQ(records[i].find(L"N4Client"), std::wstring::npos) << ToUtf8(records[i]);
    }
    for (const std::wstring& name : fs_testing::ListNames(scenario.Temp() + L"\\tpd*.tmp")) {
        if (std::find(placeholdersBefore.begin(), placeholdersBefore.end(), name) !=
            placeholdersBefore.end()) {
            continue;
        }
        // What may come: the running uninstaller moved aside, and under Wine
        // the install folder with the link it could not remove. Never an empty
        // placeholder of a file that was not there.
        const std::wstring path = scenario.Temp() + L"\\" + name;
        EXPECT_TRUE(FolderExists(path) || ReadFileBytes(path).size() > 0) << ToUtf8(name);
    }

    // The client's data folder exists now, with its Fonts folder a link to the
    // user's folder: the full cleanup removes the link, or on Wine leaves it,
    // and never reaches the user's file.
    CreateDirectoryW(scenario.ClientDataFolder().c_str(), nullptr);
    ASSERT_TRUE(MakeFolderLink(scenario.ClientDataFolder() + L"\\Fonts", outside));
    // A folder under the name of one of the client's cache files is not that file.
    const std::wstring cacheFolder = scenario.ClientDataFolder() + L"\\ClientCache.db";
    WriteFileBytes(cacheFolder + L"\\kept.txt", "kept");
    const std::wstring loose = scenario.MakePayload(scenario.Root() + L"\\Loose");
    ASSERT_EQ(scenario.Run(loose + L"\\Uninstall.exe", L"-u -q"), 0u);
    EXPECT_TRUE(Contains(scenario.LogMessages(), L"Cleaning every user's information."));
    EXPECT_EQ(ReadFileBytes(outside + L"\\user.txt"), "the user's");
    EXPECT_TRUE(FolderExists(scenario.ClientDataFolder()));
    EXPECT_EQ(ReadFileBytes(cacheFolder + L"\\kept.txt"), "kept");
    RemoveTree(scenario.ClientDataFolder());
}
