// The brand's sources and their precedence, and the links made under the
// brand's names, on real archives, real link files and the real shell folders
// of the prefix (pointed at folders of each test).

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "branding/brand_links.h"
#include "branding/brand_source.h"
#include "branding/brand_test_helpers.h"
#include "cleanup/registry_and_shell_helpers.h"
#include "fs/fs_test_helpers.h"
#include "integration/shell_links.h"
#include "logging/logger.h"
#include "support/test_support.h"

using brand_testing::BrandIni;
using brand_testing::ListTree;
using brand_testing::Lower;
using brand_testing::ReadLink;
using testing_support::BinFolder;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

using Names = std::vector<std::wstring>;

std::wstring BrandArchive(const std::wstring& name) {
    return BinFolder() + L"\\brandtest_" + name + L".zip";
}

// The shell keeps the desktop folder it found first for the whole process,
// so the prefix's Desktop and Programs folders are pointed at folders of this
// process once, before any test, and put back at the end.
class ShellFoldersOfTheRun : public ::testing::Environment {
  public:
    void SetUp() override {
        files = std::make_unique<TempFolder>();
        desktop = *files / L"Desktop";
        programs = *files / L"Programs";
        CreateDirectoryW(desktop.c_str(), nullptr);
        CreateDirectoryW(programs.c_str(), nullptr);
        desktopRedirect =
            std::make_unique<cleanup_testing::ShellFolderRedirect>(L"Desktop", desktop);
        programsRedirect =
            std::make_unique<cleanup_testing::ShellFolderRedirect>(L"Programs", programs);
        // Below Programs, as the system keeps it.
        startupRedirect = std::make_unique<cleanup_testing::ShellFolderRedirect>(
            L"Startup", programs + L"\\Startup");
    }

    void TearDown() override {
        startupRedirect.reset();
        programsRedirect.reset();
        desktopRedirect.reset();
        files.reset();
    }

    std::unique_ptr<TempFolder> files;
    std::wstring desktop;
    std::wstring programs;

  private:
    std::unique_ptr<cleanup_testing::ShellFolderRedirect> desktopRedirect;
    std::unique_ptr<cleanup_testing::ShellFolderRedirect> programsRedirect;
    std::unique_ptr<cleanup_testing::ShellFolderRedirect> startupRedirect;
};

ShellFoldersOfTheRun* const shellFolders = static_cast<ShellFoldersOfTheRun*>(
    ::testing::AddGlobalTestEnvironment(new ShellFoldersOfTheRun));

// Each test starts with an empty desktop and Programs folder, its own
// temporary folder and install folder; "BrandFileLocation" comes back afterwards.
class Branding : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearLinks();
        CreateDirectoryW(temp.c_str(), nullptr);
        brand_testing::LayOutInstallFolder(install, true);
        tempOverride = std::make_unique<fs_testing::TemporaryFolderOverride>(temp);
        CoInitialize(nullptr);

        std::wstring found;
        ASSERT_TRUE(GetSpecialFolderPath(found, CSIDL_DESKTOP));
        ASSERT_EQ(Lower(found), Lower(desktop));
        ASSERT_TRUE(GetSpecialFolderPath(found, CSIDL_PROGRAMS));
        ASSERT_EQ(Lower(found), Lower(programs));
    }

    void TearDown() override { CoUninitialize(); }

    // A brand as a payload or an earlier install leaves it.
    void WriteInstalledBrand(const std::wstring& appTitle, const std::wstring& shortcutName,
                             const std::wstring& companyName) {
        WriteFileBytes(install + L"Branding\\Brand.ini",
                       BrandIni(appTitle, shortcutName, companyName));
        WriteFileBytes(install + L"Branding\\payload.txt", "payload file\r\n");
    }

    // The link points at target, with no arguments, the target's folder as
    // working folder and icon (index 0).
    void ExpectLink(const std::wstring& link, const std::wstring& target,
                    const std::wstring& icon) {
        SCOPED_TRACE(testing_support::ToUtf8(link));
        const brand_testing::LinkContents contents = ReadLink(link);
        ASSERT_EQ(contents.loaded, S_OK);
        EXPECT_EQ(Lower(contents.target), Lower(target));
        EXPECT_EQ(Lower(contents.workingFolder), Lower(install));
        EXPECT_EQ(contents.arguments, L"");
        EXPECT_EQ(Lower(contents.icon), Lower(icon));
        EXPECT_EQ(contents.iconIndex, 0);
    }

    // Clears the links and working copy of a previous round in one test.
    void ClearLinks() {
        testing_support::RemoveTree(desktop);
        testing_support::RemoveTree(programs);
        CreateDirectoryW(desktop.c_str(), nullptr);
        CreateDirectoryW(programs.c_str(), nullptr);
    }

    TempFolder files;
    const std::wstring desktop = shellFolders->desktop;
    const std::wstring programs = shellFolders->programs;
    const std::wstring temp = files / L"Temp";
    const std::wstring working = temp + L"\\Branding";
    const std::wstring install = files / L"AppData\\QuellmoorClient\\";
    const std::wstring client = install + L"DESKHubClient.exe";
    const std::wstring uninstaller = install + L"Uninstall.exe";
    const std::wstring brandIcon = install + L"Branding\\Brand.ico";
    brand_testing::BrandFileLocationSnapshot savedLocation;
    std::unique_ptr<fs_testing::TemporaryFolderOverride> tempOverride;
};

TEST_F(Branding, WithoutABrandTheLinksTakeTheDefaultNamesAndTheClientIcon) {
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Quellmoor Client.lnk"});
    ExpectLink(desktop + L"\\Quellmoor Client.lnk", client, client);
    EXPECT_EQ(ListTree(programs), (Names{L"Quellmoor\\", L"Quellmoor\\Client\\",
                                         L"Quellmoor\\Client\\Quellmoor Client.lnk",
                                         L"Quellmoor\\Client\\Uninstall.lnk"}));
    ExpectLink(programs + L"\\Quellmoor\\Client\\Quellmoor Client.lnk", client, client);
    ExpectLink(programs + L"\\Quellmoor\\Client\\Uninstall.lnk", uninstaller, client);

    // Tear-down: the desktop link and the "Client" folder go, and with it the
    // company folder it leaves empty.
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_TRUE(ListTree(programs).empty());
    EXPECT_TRUE(FolderExists(programs));

    // Without the uninstaller file there is no "Uninstall" link.
    DeleteFileW(uninstaller.c_str());
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(programs), (Names{L"Quellmoor\\", L"Quellmoor\\Client\\",
                                         L"Quellmoor\\Client\\Quellmoor Client.lnk"}));
}

TEST_F(Branding, TearDownTakesOnlyTheLinksIntoTheInstallFolder) {
    UpdateClientShortcuts(false, install, L"", false);
    const std::wstring menu = programs + L"\\Quellmoor\\Client";
    // What else may lie there: the user's file, links to other programs (one
    // in a folder whose name only starts like the install folder's), a file
    // that only looks like a link, and an earlier brand's link to the client.
    const std::wstring lookalike = files / L"AppData\\QuellmoorClient2";
    WriteFileBytes(lookalike + L"\\DESKHubClient.exe", "another program");
    WriteFileBytes(menu + L"\\notes.txt", "the user's notes");
    WriteFileBytes(menu + L"\\Broken.lnk", "not a link");
    ASSERT_EQ(CreateShortcut(L"C:\\windows\\notepad.exe", menu.c_str(), L"Elsewhere", nullptr),
              S_OK);
    CreateDirectoryW((menu + L"\\Other").c_str(), nullptr);
    ASSERT_EQ(CreateShortcut((lookalike + L"\\DESKHubClient.exe").c_str(),
                             (menu + L"\\Other").c_str(), L"Lookalike", nullptr),
              S_OK);
    CreateDirectoryW((menu + L"\\Old").c_str(), nullptr);
    ASSERT_EQ(CreateShortcut(client.c_str(), (menu + L"\\Old").c_str(), L"Former Title", nullptr),
              S_OK);
    SetFileAttributesW((menu + L"\\Old\\Former Title.lnk").c_str(), FILE_ATTRIBUTE_READONLY);

    UpdateClientShortcuts(true, install, L"", false);
    const std::wstring kept = L"Quellmoor\\Client\\";
    EXPECT_EQ(ListTree(programs),
              (Names{L"Quellmoor\\", kept, kept + L"Broken.lnk", kept + L"Elsewhere.lnk",
                     kept + L"Other\\", kept + L"Other\\Lookalike.lnk", kept + L"notes.txt"}));
    EXPECT_EQ(ReadFileBytes(menu + L"\\notes.txt"), "the user's notes");
}

TEST_F(Branding, AnArchiveWithBrandIniAndIconReplacesTheInstalledBrandAndNamesEveryLink) {
    WriteInstalledBrand(L"Payload App", L"Payload Desk", L"Payload Co");
    brand_testing::SetBrandFileLocation(BrandArchive(L"full"));

    UpdateClientShortcuts(false, install, ReadBrandFileLocation(), false);

    // The archive's content replaces the payload's brand, byte for byte.
    EXPECT_EQ(ListTree(install + L"Branding"), (Names{L"Brand.ico", L"Brand.ini", L"readme.txt"}));
    for (const wchar_t* name : {L"Brand.ico", L"Brand.ini", L"readme.txt"}) {
        EXPECT_EQ(ReadFileBytes(install + L"Branding\\" + name),
                  ReadFileBytes(working + L"\\" + name));
    }
    EXPECT_EQ(ReadFileBytes(install + L"Branding\\Brand.ini").substr(0, 2), "\xFF\xFE");

    EXPECT_EQ(ListTree(desktop), Names{L"Harbour Desk Client.lnk"});
    ExpectLink(desktop + L"\\Harbour Desk Client.lnk", client, brandIcon);
    const std::wstring menu = L"Harbour Networks\\Client\\";
    EXPECT_EQ(ListTree(programs), (Names{L"Harbour Networks\\", menu, menu + L"Harbour Desk.lnk",
                                         menu + L"Uninstall.lnk"}));
    ExpectLink(programs + L"\\" + menu + L"Harbour Desk.lnk", client, brandIcon);
    ExpectLink(programs + L"\\" + menu + L"Uninstall.lnk", uninstaller, brandIcon);
    EXPECT_FALSE(brand_testing::BrandFileLocationExists());
    EXPECT_EQ(ReadBrandFileLocation(), L"");

    // The uninstall removes both by the brand's names, then the brand.
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_TRUE(ListTree(programs).empty());
    EXPECT_FALSE(FolderExists(install + L"Branding"));
}

TEST_F(Branding, AMissingOrBrokenArchiveMakesNoDesktopLinkAndIsStillConsumed) {
    const std::wstring log = files / L"log.txt";
    for (const std::wstring& archive : {files / L"missing.zip", BrandArchive(L"broken"),
                                        BrandArchive(L"damaged"), BrandArchive(L"oversized")}) {
        SCOPED_TRACE(testing_support::ToUtf8(archive));
        ClearLinks();
        WriteInstalledBrand(L"Payload App", L"Payload Desk", L"Payload Co");
        brand_testing::SetBrandFileLocation(archive);

        DeleteFileW(log.c_str());
        LogInitialize(log.c_str());
        UpdateClientShortcuts(false, install, ReadBrandFileLocation(), false);
        LogInitialize(nullptr);
        // Nothing of it is left to take room: what a damaged archive gave is
        // deleted, one larger than the disk's free room (4,000 entries of
        // 4 GiB each, and Brand.ini) is not begun.
        EXPECT_FALSE(FolderExists(working));
        const bool told =
            testing_support::ReadUtf16File(log).find(
                L"Brand archive " + archive + L" was not extracted: its files take 17179869176") !=
            std::wstring::npos;
        // (A disk with more room than that reads it as the damaged archive it also is.)
        ULARGE_INTEGER room{};
        const bool roomy = GetDiskFreeSpaceExW(temp.c_str(), &room, nullptr, nullptr) &&
                           room.QuadPart >= 17179869176068ull;
        EXPECT_EQ(told, archive == BrandArchive(L"oversized") && !roomy);

        EXPECT_TRUE(ListTree(desktop).empty());
        // The Programs-menu links follow the payload's brand, which stays.
        EXPECT_EQ(ListTree(programs), (Names{L"Payload Co\\", L"Payload Co\\Client\\",
                                             L"Payload Co\\Client\\Payload App.lnk",
                                             L"Payload Co\\Client\\Uninstall.lnk"}));
        EXPECT_EQ(ListTree(install + L"Branding"), (Names{L"Brand.ini", L"payload.txt"}));
        EXPECT_FALSE(brand_testing::BrandFileLocationExists());
    }
}

TEST_F(Branding, ABrandThatCannotBeCopiedLeavesTheInstalledOneWhole) {
    WriteInstalledBrand(L"Payload App", L"Payload Desk", L"Payload Co");
    // A file where the new brand's copy is made.
    WriteFileBytes(install + L"Branding.new", "in the way");
    ApplyBrandArchive(install, BrandArchive(L"full"), desktop);
    EXPECT_EQ(ListTree(install + L"Branding"), (Names{L"Brand.ini", L"payload.txt"}));
    EXPECT_TRUE(ListTree(desktop).empty());

    DeleteFileW((install + L"Branding.new").c_str());
    ApplyBrandArchive(install, BrandArchive(L"full"), desktop);
    EXPECT_EQ(ListTree(install + L"Branding"), (Names{L"Brand.ico", L"Brand.ini", L"readme.txt"}));
    EXPECT_FALSE(FolderExists(install + L"Branding.new"));  // the copy took its place
    EXPECT_EQ(ListTree(desktop), Names{L"Harbour Desk Client.lnk"});
}

TEST_F(Branding, AnArchiveWithoutBrandIniInstallsNoBrand) {
    brand_testing::SetBrandFileLocation(BrandArchive(L"no_ini"));
    UpdateClientShortcuts(false, install, ReadBrandFileLocation(), false);

    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_FALSE(FolderExists(install + L"Branding"));
    EXPECT_EQ(ListTree(programs), (Names{L"Quellmoor\\", L"Quellmoor\\Client\\",
                                         L"Quellmoor\\Client\\Quellmoor Client.lnk",
                                         L"Quellmoor\\Client\\Uninstall.lnk"}));
    ExpectLink(programs + L"\\Quellmoor\\Client\\Quellmoor Client.lnk", client, client);
    EXPECT_FALSE(brand_testing::BrandFileLocationExists());
}

TEST_F(Branding, AnEarlierExtractionNeverJoinsTheNewBrand) {
    // A stale working copy with a Brand.ini: the archive without one must not
    // install it.
    WriteFileBytes(working + L"\\Brand.ini", BrandIni(L"Stale App", L"Stale Desk", L"Stale Co"));
    WriteFileBytes(working + L"\\stale.txt", "stale\r\n");
    ApplyBrandArchive(install, BrandArchive(L"no_ini"), desktop);
    EXPECT_EQ(ListTree(working), (Names{L"Brand.ico", L"notes.txt"}));
    EXPECT_FALSE(FolderExists(install + L"Branding"));
    EXPECT_TRUE(ListTree(desktop).empty());

    // A brand with an icon, then one without: no icon or file of the first
    // comes along with the second.
    ApplyBrandArchive(install, BrandArchive(L"full"), desktop);
    ApplyBrandArchive(install, BrandArchive(L"second"), desktop);
    EXPECT_EQ(ListTree(install + L"Branding"), Names{L"Brand.ini"});
    EXPECT_EQ(ListTree(desktop), (Names{L"Harbour Desk Client.lnk", L"Second Desk.lnk"}));
    ExpectLink(desktop + L"\\Second Desk.lnk", client, client);
    UpdateProgramsMenuShortcuts(install, false);
    ExpectLink(programs + L"\\Second Co\\Client\\Second Title.lnk", client, client);
}

TEST_F(Branding, EmptyShortcutAndCompanyNames) {
    brand_testing::SetBrandFileLocation(BrandArchive(L"empty_names"));
    UpdateClientShortcuts(false, install, ReadBrandFileLocation(), false);
    // An empty shortcut_name or app_title is the default (a bare ".lnk"
    // would have no name); an empty company_name puts "Client" right under
    // the Programs folder.
    EXPECT_EQ(ListTree(desktop), Names{L"Quellmoor Client.lnk"});
    EXPECT_EQ(ListTree(programs),
              (Names{L"Client\\", L"Client\\Quellmoor Client.lnk", L"Client\\Uninstall.lnk"}));
    ExpectLink(programs + L"\\Client\\Quellmoor Client.lnk", client, client);

    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_TRUE(ListTree(programs).empty());
    EXPECT_TRUE(FolderExists(programs));
    EXPECT_FALSE(FolderExists(install + L"Branding"));
}

TEST_F(Branding, NestedNamesGetTheirFoldersAndNamesEndingInLnkStayLinks) {
    WriteInstalledBrand(L"Apps/Desk", L"Tools\\Desk.lnkPro", L"Vendor\\Suite");
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), (Names{L"Tools\\", L"Tools\\Desk.lnkPro.lnk"}));
    ExpectLink(desktop + L"\\Tools\\Desk.lnkPro.lnk", client, client);
    const std::wstring menu = L"Vendor\\Suite\\Client\\";
    EXPECT_EQ(ListTree(programs),
              (Names{L"Vendor\\", L"Vendor\\Suite\\", menu, menu + L"Apps\\",
                     menu + L"Apps\\Desk.lnk", menu + L"Uninstall.lnk"}));
    ExpectLink(programs + L"\\" + menu + L"Apps\\Desk.lnk", client, client);

    // The tear-down finds them by the same names; the emptied desktop folder goes.
    UpdateClientShortcuts(true, install, L"", true);
    EXPECT_TRUE(ListTree(desktop).empty());
    // The company's folders go as far as they are left empty: "Vendor" holds
    // another product of the company.
    WriteFileBytes(programs + L"\\Vendor\\Other\\readme.txt", "another product");
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_EQ(ListTree(programs),
              (Names{L"Vendor\\", L"Vendor\\Other\\", L"Vendor\\Other\\readme.txt"}));

    // A company folder that is a folder link stays, and so does its target.
    ClearLinks();
    const std::wstring outside = files / L"Outside";
    CreateDirectoryW(outside.c_str(), nullptr);
    ASSERT_TRUE(testing_support::MakeFolderLink(programs + L"\\Linked", outside));
    WriteInstalledBrand(L"App", L"Desk", L"Linked\\Suite");
    UpdateClientShortcuts(false, install, L"", false);
    ASSERT_TRUE(FileExists(outside + L"\\Suite\\Client\\App.lnk"));
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_TRUE(FolderExists(outside));
    EXPECT_TRUE(ListTree(outside).empty());
    EXPECT_NE(GetFileAttributesW((programs + L"\\Linked").c_str()), INVALID_FILE_ATTRIBUTES);
    testing_support::RemoveFolderLink(programs + L"\\Linked");

    // A company named like the shell folder below Programs: its links go, and
    // the Startup folder stays, even when they leave it empty.
    ClearLinks();
    WriteInstalledBrand(L"App", L"Desk", L"Startup");
    UpdateClientShortcuts(false, install, L"", false);
    ASSERT_TRUE(FileExists(programs + L"\\Startup\\Client\\App.lnk"));
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_EQ(ListTree(programs), Names{L"Startup\\"});

    // A shortcut_name that already ends in ".lnk" (any case) is found again.
    ClearLinks();
    WriteInstalledBrand(L"App", L"Desk.LNK", L"Co");
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Desk.LNK"});
    UpdateClientShortcuts(true, install, L"", true);
    EXPECT_TRUE(ListTree(desktop).empty());
}

TEST_F(Branding, NamesThatWouldLeadElsewhereFallBackToTheDefaults) {
    for (const wchar_t* company :
         {L"\\Rooted", L"/Rooted", L"D:Drive", L"Co:stream", L"a\\..\\b", L"a\\.\\b", L"a\\\\b",
          L"Trail\\", L"Why?", L"A*", L"<Co>", L"Co\"s", L"A|B", L"Tab\tCo", L"CON", L"Vendor\\nul",
          L"com1.Co", L"Aux .Co"}) {
        SCOPED_TRACE(testing_support::ToUtf8(company));
        ClearLinks();
        WriteInstalledBrand(L"App", L"Desk", company);
        UpdateProgramsMenuShortcuts(install, false);
        EXPECT_EQ(ListTree(programs), (Names{L"Quellmoor\\", L"Quellmoor\\Client\\",
                                             L"Quellmoor\\Client\\App.lnk",
                                             L"Quellmoor\\Client\\Uninstall.lnk"}));
    }
    // A link named like a device would be written to the device: the
    // desktop link takes the default name.
    ClearLinks();
    WriteInstalledBrand(L"App", L"NUL", L"Co");
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Quellmoor Client.lnk"});
    ClearLinks();

    ApplyBrandArchive(install, BrandArchive(L"unsafe_names"), desktop);
    UpdateProgramsMenuShortcuts(install, false);
    EXPECT_EQ(ListTree(desktop), Names{L"Quellmoor Client.lnk"});
    EXPECT_EQ(ListTree(programs), (Names{L"Quellmoor\\", L"Quellmoor\\Client\\",
                                         L"Quellmoor\\Client\\Quellmoor Client.lnk",
                                         L"Quellmoor\\Client\\Uninstall.lnk"}));
    // Nothing beside the test's folders, nothing at the drive's root.
    for (const std::wstring& item : ListTree(files.Path())) {
        EXPECT_EQ(item.find(L"Escaped"), std::wstring::npos) << testing_support::ToUtf8(item);
    }
    EXPECT_FALSE(FolderExists(L"C:\\Elsewhere"));
}

TEST_F(Branding, Utf8BrandIniGivesItsNamesWithOrWithoutAMark) {
    const std::string names = testing_support::ToUtf8(
        L"; made in an editor that writes UTF-8\r\n[Branding]\r\napp_title = \"Société Desk\"\r\n"
        L"shortcut_name=Müller Client\r\n company_name =Ünïcode Co\r\n[other]\r\napp_title=No\r\n");
    for (const std::string mark : {"\xEF\xBB\xBF", ""}) {
        SCOPED_TRACE(mark.empty() ? "without a mark" : "with a mark");
        ClearLinks();
        WriteFileBytes(install + L"Branding\\Brand.ini", mark + names);
        UpdateClientShortcuts(false, install, L"", false);
        EXPECT_EQ(ListTree(desktop), Names{L"Müller Client.lnk"});
        EXPECT_EQ(ListTree(programs), (Names{L"Ünïcode Co\\", L"Ünïcode Co\\Client\\",
                                             L"Ünïcode Co\\Client\\Société Desk.lnk",
                                             L"Ünïcode Co\\Client\\Uninstall.lnk"}));
    }
    // Bytes that are no UTF-8 are the ANSI code page's, as the system reads them.
    ClearLinks();
    WriteFileBytes(install + L"Branding\\Brand.ini", "[BRANDING]\r\nshortcut_name=Caf\xE9\r\n");
    wchar_t ansi[8] = {};
    MultiByteToWideChar(CP_ACP, 0, "Caf\xE9", -1, ansi, 8);
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{std::wstring(ansi) + L".lnk"});
}

TEST_F(Branding, ALinkThatCannotBeMadeIsTold) {
    // A file holds the place of the company folder.
    WriteInstalledBrand(L"App", L"Desk", L"Blocked");
    WriteFileBytes(programs + L"\\Blocked", "a file");
    const std::wstring log = files / L"log.txt";
    LogInitialize(log.c_str());
    UpdateProgramsMenuShortcuts(install, false);
    LogInitialize(nullptr);
    const std::wstring text = testing_support::ReadUtf16File(log);
    for (const auto& [name, target] : {std::pair{L"App.lnk", client}, {L"Uninstall.lnk", uninstaller}}) {
        EXPECT_NE(text.find(L" - Link " + programs + L"\\Blocked\\Client\\" + name + L" to " +
                            target + L" could not be created (0x"),
                  std::wstring::npos)
            << testing_support::ToUtf8(text);
    }
    EXPECT_EQ(ReadFileBytes(programs + L"\\Blocked"), "a file");

    // A link of the brand's name to another program is the user's: it stays,
    // through the install and the uninstall. One to the client's program in a
    // former roaming folder is the client's and is made again.
    ClearLinks();
    WriteInstalledBrand(L"Remote Desktop", L"Remote Desktop", L"Co");
    const std::wstring notepad = L"C:\\windows\\notepad.exe";
    ASSERT_EQ(CreateShortcut(notepad.c_str(), desktop.c_str(), L"Remote Desktop", nullptr), S_OK);
    const std::wstring former = files / L"Former\\QuellmoorClient\\DESKHubClient.exe";
    WriteFileBytes(former, "former client");
    const std::wstring menu = programs + L"\\Co\\Client";
    CreateDirectoryW((programs + L"\\Co").c_str(), nullptr);
    CreateDirectoryW(menu.c_str(), nullptr);
    ASSERT_EQ(CreateShortcut(former.c_str(), menu.c_str(), L"Remote Desktop", nullptr), S_OK);
    LogInitialize(log.c_str());
    UpdateClientShortcuts(false, install, L"", false);
    LogInitialize(nullptr);
    EXPECT_EQ(Lower(ReadLink(desktop + L"\\Remote Desktop.lnk").target), Lower(notepad));
    ExpectLink(menu + L"\\Remote Desktop.lnk", client, client);
    EXPECT_NE(testing_support::ReadUtf16File(log).find(
                  L" - Link " + desktop + L"\\Remote Desktop.lnk leads to another program (" +
                  notepad + L"); it is left as it is and no link to " + client + L" is made"),
              std::wstring::npos);
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Remote Desktop.lnk"});
}

TEST_F(Branding, AnInstalledBrandNamesTheLinksAtSetUpAndIsKeptByAnUpgrade) {
    WriteInstalledBrand(L"Kept App", L"Kept Desk", L"Kept Co");
    WriteFileBytes(brandIcon, "icon bytes");
    const Names menu = {L"Kept Co\\", L"Kept Co\\Client\\", L"Kept Co\\Client\\Kept App.lnk",
                        L"Kept Co\\Client\\Uninstall.lnk"};

    // Set-up with the brand in place (carried over or shipped): the links
    // under its names and with its icon, as an archive would give them.
    UpdateClientShortcuts(false, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Kept Desk.lnk"});
    ExpectLink(desktop + L"\\Kept Desk.lnk", client, brandIcon);
    EXPECT_EQ(ListTree(programs), menu);
    ExpectLink(programs + L"\\Kept Co\\Client\\Kept App.lnk", client, brandIcon);

    // An upgrade's uninstall removes only the desktop link.
    UpdateClientShortcuts(true, install, L"", true);
    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_EQ(ListTree(programs), menu);
    EXPECT_EQ(ListTree(install + L"Branding"),
              (Names{L"Brand.ico", L"Brand.ini", L"payload.txt"}));

    // A desktop link of the brand's name that points elsewhere stays.
    const std::wstring other = install + L"Other.exe";
    CopyFileW(client.c_str(), other.c_str(), FALSE);
    CreateShortcut(other.c_str(), desktop.c_str(), L"Kept Desk", nullptr);
    UpdateClientShortcuts(true, install, L"", true);
    UpdateClientShortcuts(true, install, L"", false);
    EXPECT_EQ(ListTree(desktop), Names{L"Kept Desk.lnk"});
    EXPECT_EQ(Lower(ReadLink(desktop + L"\\Kept Desk.lnk").target), Lower(other));
    EXPECT_TRUE(ListTree(programs).empty());
    EXPECT_FALSE(FolderExists(install + L"Branding"));
}

// The desktop names a folder that does not exist, so the shell finds none. The
// shell keeps the desktop it found first, so the links are set up and torn
// down by brand_shortcuts.exe, a process of its own.
TEST(BrandingWithoutDesktop, NoDesktopLinkIsMadeOrRemovedAndTheRestGoesOn) {
    TempFolder files;
    brand_testing::BrandFileLocationSnapshot savedLocation;
    const std::wstring install = files / L"AppData\\QuellmoorClient\\";
    const std::wstring client = install + L"DESKHubClient.exe";
    const std::wstring programs = files / L"Programs";
    const std::wstring current = files / L"current";
    const std::wstring temp = files / L"Temp";
    for (const std::wstring& folder : {programs, current, temp}) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    brand_testing::LayOutInstallFolder(install, true);
    cleanup_testing::ShellFolderRedirect gone(L"Desktop", files / L"NoDesktop");
    cleanup_testing::ShellFolderRedirect menu(L"Programs", programs);

    // A link of the default name in the current folder, where a link joined to
    // an empty desktop path would be looked for.
    CoInitialize(nullptr);
    CreateShortcut(client.c_str(), current.c_str(), L"Quellmoor Client", nullptr);
    CoUninitialize();

    const testing_support::EnvironmentChanges environment = {{L"TEMP", temp}, {L"TMP", temp}};
    const std::wstring program = testing_support::Quoted(BinFolder() + L"\\brand_shortcuts.exe");
    const std::wstring output = files / L"output.txt";
    bool programsFound = false;
    auto run = [&](const std::wstring& arguments) {
        testing_support::ChildProcess child;
        ASSERT_TRUE(child.Start(program + L" " + arguments, environment, current, output));
        EXPECT_EQ(child.Wait(), std::optional<DWORD>(0));
        const std::string printed = ReadFileBytes(output);
        EXPECT_EQ(printed.rfind("desktop=none\r\n", 0), 0u) << printed;
        programsFound = printed.find("programs=none") == std::string::npos;
    };
    run(L"setup " + testing_support::Quoted(install + L"\\"));
    run(L"teardown " + testing_support::Quoted(install + L"\\"));
    brand_testing::SetBrandFileLocation(BrandArchive(L"full"));
    run(L"setup " + testing_support::Quoted(install + L"\\") + L" " +
        testing_support::Quoted(BrandArchive(L"full")));

    EXPECT_EQ(ListTree(current), Names{L"Quellmoor Client.lnk"});
    EXPECT_FALSE(FolderExists(files / L"NoDesktop"));
    EXPECT_FALSE(FileExists(L"C:\\Quellmoor Client.lnk"));
    EXPECT_FALSE(FileExists(L"C:\\Harbour Desk Client.lnk"));
    // The rest goes on: the brand is installed. Wine finds no special folder
    // at all while the desktop is missing; the Programs-menu links are then
    // skipped as for any Programs folder that cannot be found.
    EXPECT_TRUE(FileExists(install + L"Branding\\Brand.ini"));
    if (programsFound) {
        EXPECT_EQ(ListTree(programs),
                  (Names{L"Harbour Networks\\", L"Harbour Networks\\Client\\",
                         L"Harbour Networks\\Client\\Harbour Desk.lnk",
                         L"Harbour Networks\\Client\\Uninstall.lnk", L"Quellmoor\\"}));
    } else {
        EXPECT_TRUE(ListTree(programs).empty());
    }
    EXPECT_FALSE(brand_testing::BrandFileLocationExists());
}

TEST_F(Branding, BrandFileLocationIsReadAsStoredAndOnlyAsAString) {
    brand_testing::DeleteBrandFileLocation();
    EXPECT_EQ(ReadBrandFileLocation(), L"");

    brand_testing::SetBrandFileLocation(L"D:\\brands\\harbour.zip");
    EXPECT_EQ(ReadBrandFileLocation(), L"D:\\brands\\harbour.zip");
    EXPECT_TRUE(IsBrandFileLocationSet());

    // An expandable string is used as stored, up to its first NUL.
    const wchar_t expandable[] = L"%TEMP%\\brand.zip\0tail";
    brand_testing::SetBrandFileLocationRaw(REG_EXPAND_SZ, expandable, sizeof expandable);
    EXPECT_EQ(ReadBrandFileLocation(), L"%TEMP%\\brand.zip");

    // Size 0, and a value that is not a string, give the empty string.
    brand_testing::SetBrandFileLocationRaw(REG_SZ, nullptr, 0);
    EXPECT_EQ(ReadBrandFileLocation(), L"");
    EXPECT_FALSE(IsBrandFileLocationSet());
    const DWORD number = 7;
    brand_testing::SetBrandFileLocationRaw(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(ReadBrandFileLocation(), L"");
    // ... but a value of another type counts as set: the install takes the
    // archive road without an archive, and the value is consumed.
    EXPECT_TRUE(IsBrandFileLocationSet());
    WriteInstalledBrand(L"Payload App", L"Payload Desk", L"Payload Co");
    UpdateClientShortcuts(false, install, ReadBrandFileLocation(), false);
    EXPECT_FALSE(brand_testing::BrandFileLocationExists());
    EXPECT_TRUE(ListTree(desktop).empty());
    EXPECT_EQ(ListTree(programs).size(), 4u);
    EXPECT_EQ(ListTree(install + L"Branding"), (Names{L"Brand.ini", L"payload.txt"}));

    // A path stored without its terminating NUL is still read whole.
    const std::wstring bare = L"C:\\b.zip";
    brand_testing::SetBrandFileLocationRaw(REG_SZ, bare.data(),
                                           static_cast<DWORD>(bare.size() * sizeof(wchar_t)));
    EXPECT_EQ(ReadBrandFileLocation(), bare);

    ClearBrandFileLocation();
    EXPECT_FALSE(brand_testing::BrandFileLocationExists());
    ClearBrandFileLocation();  // nothing left to delete: no harm
}

// CarryOverInstalledBrand works on the running program's folder and APPDATA,
// so it runs in a process of its own: brand_carry_over.exe, copied into a
// payload folder laid out like a release.
class BrandCarryOver : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFileBytes(payload + L"\\Branding\\Brand.ini",
                       BrandIni(L"Payload App", L"Payload Desk", L"Payload Co"));
        WriteFileBytes(payload + L"\\Branding\\payload.txt", "payload\r\n");
        ASSERT_TRUE(
            CopyFileW((BinFolder() + L"\\brand_carry_over.exe").c_str(), program.c_str(), FALSE));
        WriteFileBytes(installed + L"\\Brand.ini",
                       BrandIni(L"Installed App", L"Installed Desk", L"Installed Co"));
        WriteFileBytes(installed + L"\\Brand.ico", "icon bytes");
        WriteFileBytes(installed + L"\\extra.txt", "extra\r\n");
    }

    void Run(const std::wstring& programPath) {
        // Start and end told apart, so that a failure says which went wrong.
        testing_support::ChildProcess child;
        ASSERT_TRUE(child.Start(testing_support::Quoted(programPath), {{L"APPDATA", appData}}))
            << "could not start, error " << GetLastError();
        const std::optional<DWORD> code = child.Wait(120000);
        ASSERT_TRUE(code.has_value()) << "still running after 120 s";
        EXPECT_EQ(*code, 0u);
    }

    TempFolder files;
    const std::wstring appData = files / L"AppData";
    const std::wstring installed = appData + L"\\QuellmoorClient\\Branding";
    const std::wstring payload = files / L"Setup";
    const std::wstring program = payload + L"\\brand_carry_over.exe";
    brand_testing::BrandFileLocationSnapshot savedLocation;
};

TEST_F(BrandCarryOver, TheInstalledBrandReplacesTheOneBesideTheInstaller) {
    brand_testing::DeleteBrandFileLocation();
    Run(program);
    EXPECT_EQ(ListTree(payload + L"\\Branding"), (Names{L"Brand.ico", L"Brand.ini", L"extra.txt"}));
    EXPECT_EQ(ReadFileBytes(payload + L"\\Branding\\Brand.ini"),
              ReadFileBytes(installed + L"\\Brand.ini"));
    // The installed brand itself is untouched.
    EXPECT_EQ(ListTree(installed), (Names{L"Brand.ico", L"Brand.ini", L"extra.txt"}));
}

TEST_F(BrandCarryOver, NothingIsCarriedWhenAnArchiveIsNamedOrNoBrandIsInstalled) {
    const Names payloadBrand = {L"Brand.ini", L"payload.txt"};
    // An archive is named, even one that does not exist.
    brand_testing::SetBrandFileLocation(files / L"later.zip");
    Run(program);
    EXPECT_EQ(ListTree(payload + L"\\Branding"), payloadBrand);
    EXPECT_TRUE(brand_testing::BrandFileLocationExists());
    // A value that is not a string counts as named as well.
    const DWORD number = 1;
    brand_testing::SetBrandFileLocationRaw(REG_DWORD, &number, sizeof number);
    Run(program);
    EXPECT_EQ(ListTree(payload + L"\\Branding"), payloadBrand);

    // The installed "Branding" has no Brand.ini.
    brand_testing::DeleteBrandFileLocation();
    DeleteFileW((installed + L"\\Brand.ini").c_str());
    Run(program);
    EXPECT_EQ(ListTree(payload + L"\\Branding"), payloadBrand);
}

TEST_F(BrandCarryOver, AnInstallerRunFromTheInstallFolderKeepsTheBrand) {
    brand_testing::DeleteBrandFileLocation();
    const std::wstring inside = appData + L"\\QuellmoorClient\\brand_carry_over.exe";
    CopyFileW(program.c_str(), inside.c_str(), FALSE);
    Run(inside);
    EXPECT_EQ(ListTree(installed), (Names{L"Brand.ico", L"Brand.ini", L"extra.txt"}));
}

}  // namespace
