// Link files made and judged through the shell's own link object, in per-test
// folders, and shell special folders.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "integration/shell_links.h"
#include "support/test_support.h"

using testing_support::FileExists;
using testing_support::LinkContents;
using testing_support::ReadLink;
using testing_support::TempFolder;

namespace {

class ShellLinks : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        app_ = folder_ / L"Quellmoor Client";
        CreateDirectoryW(app_.c_str(), nullptr);
        target_ = app_ + L"\\DESKHubClient.exe";
        testing_support::WriteFileBytes(target_, "MZ stand-in target");
        icon_ = app_ + L"\\Brand.ico";
        testing_support::WriteFileBytes(icon_, "icon");
        links_ = folder_ / L"links";
        CreateDirectoryW(links_.c_str(), nullptr);
    }
    void TearDown() override { CoUninitialize(); }

    TempFolder folder_;
    std::wstring app_;
    std::wstring target_;
    std::wstring icon_;
    std::wstring links_;
};

}  // namespace

TEST_F(ShellLinks, CreatedLinkPointsAtTheTargetFromItsOwnFolder) {
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Quellmoor Client", icon_.c_str()),
              S_OK);
    const std::wstring linkFile = links_ + L"\\Quellmoor Client.lnk";
    ASSERT_TRUE(FileExists(linkFile));
    const LinkContents contents = ReadLink(linkFile);
    ASSERT_EQ(contents.loaded, S_OK);
    EXPECT_EQ(contents.target, target_);
    EXPECT_EQ(contents.workingFolder, app_ + L"\\");
    EXPECT_EQ(contents.arguments, L"");
    EXPECT_EQ(contents.icon, icon_);
    EXPECT_EQ(contents.iconIndex, 0);

    // Without an icon the link has none.
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Plain", nullptr), S_OK);
    const LinkContents plain = ReadLink(links_ + L"\\Plain.lnk");
    ASSERT_EQ(plain.loaded, S_OK);
    EXPECT_EQ(plain.icon, L"");
    EXPECT_EQ(plain.target, target_);

    // Saving again under the same name replaces the link.
    const std::wstring other = app_ + L"\\VuClient.exe";
    testing_support::WriteFileBytes(other, "MZ other");
    ASSERT_EQ(CreateShortcut(other.c_str(), links_.c_str(), L"Quellmoor Client", nullptr), S_OK);
    EXPECT_EQ(ReadLink(linkFile).target, other);
}

TEST_F(ShellLinks, LinkFileNameGetsTheExtensionOnlyWhenItLacksIt) {
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Has.lnk", nullptr), S_OK);
    EXPECT_TRUE(FileExists(links_ + L"\\Has.lnk"));
    EXPECT_FALSE(FileExists(links_ + L"\\Has.lnk.lnk"));

    // Only the end of the name counts, in any letter case: ".lnk" elsewhere
    // in the name or in the folder does not make a link file.
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Shouting.LNK", nullptr), S_OK);
    EXPECT_EQ(testing_support::ListTree(links_), std::vector<std::wstring>({L"Has.lnk",
                                                                            L"Shouting.LNK"}));
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Desk.lnkPro", nullptr), S_OK);
    EXPECT_TRUE(FileExists(links_ + L"\\Desk.lnkPro.lnk"));
    EXPECT_EQ(ReadLink(links_ + L"\\Desk.lnkPro.lnk").target, target_);
    const std::wstring dotted = links_ + L"\\in.lnk";
    CreateDirectoryW(dotted.c_str(), nullptr);
    ASSERT_EQ(CreateShortcut(target_.c_str(), dotted.c_str(), L"Plain", nullptr), S_OK);
    EXPECT_TRUE(FileExists(dotted + L"\\Plain.lnk"));

    // A folder given with its trailing backslash still gives the one file.
    const std::wstring withSlash = links_ + L"\\";
    ASSERT_EQ(CreateShortcut(target_.c_str(), withSlash.c_str(), L"Slashed", nullptr), S_OK);
    EXPECT_TRUE(FileExists(links_ + L"\\Slashed.lnk"));
}

TEST_F(ShellLinks, MissingFolderIsNotCreated) {
    const std::wstring missing = folder_ / L"no such folder";
    const HRESULT result = CreateShortcut(target_.c_str(), missing.c_str(), L"Lost", nullptr);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_FALSE(testing_support::FolderExists(missing));
    EXPECT_EQ(CreateShortcut(nullptr, links_.c_str(), L"x", nullptr), E_POINTER);
}

TEST_F(ShellLinks, DeletesOnlyLinksThatResolveToTheExpectedTarget) {
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Mine", nullptr), S_OK);
    const std::wstring mine = links_ + L"\\Mine.lnk";

    // Pointing elsewhere: kept, with GetPath's success as the answer.
    const std::wstring elsewhere = app_ + L"\\VuClient.exe";
    testing_support::WriteFileBytes(elsewhere, "MZ other");
    EXPECT_EQ(DeleteShortcutIfTarget(elsewhere.c_str(), mine.c_str()), S_OK);
    EXPECT_TRUE(FileExists(mine));
    // A prefix of the target is not the target.
    EXPECT_TRUE(SUCCEEDED(DeleteShortcutIfTarget(app_.c_str(), mine.c_str())));
    EXPECT_TRUE(FileExists(mine));

    // The expected target in other letter case: deleted.
    std::wstring shouted = target_;
    for (wchar_t& c : shouted) c = towupper(c);
    EXPECT_EQ(DeleteShortcutIfTarget(shouted.c_str(), mine.c_str()), S_OK);
    EXPECT_FALSE(FileExists(mine));

    // Gone already: the load fails and says so.
    EXPECT_TRUE(FAILED(DeleteShortcutIfTarget(target_.c_str(), mine.c_str())));
}

TEST_F(ShellLinks, KeepsWhatCannotBeReadOrDeleted) {
    // Not a link at all.
    const std::wstring fake = links_ + L"\\Fake.lnk";
    testing_support::WriteFileBytes(fake, "this is no shell link");
    EXPECT_TRUE(FAILED(DeleteShortcutIfTarget(target_.c_str(), fake.c_str())));
    EXPECT_TRUE(FileExists(fake));

    // A matching link that another handle holds without delete sharing.
    ASSERT_EQ(CreateShortcut(target_.c_str(), links_.c_str(), L"Held", nullptr), S_OK);
    const std::wstring held = links_ + L"\\Held.lnk";
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DeleteShortcutIfTarget(target_.c_str(), held.c_str()), E_FAIL);
    EXPECT_TRUE(FileExists(held));
    CloseHandle(holder);
    EXPECT_EQ(DeleteShortcutIfTarget(target_.c_str(), held.c_str()), S_OK);
    EXPECT_FALSE(FileExists(held));
}

TEST_F(ShellLinks, SpecialFoldersWithAndWithoutAFileSystemPath) {
    std::wstring programs;
    ASSERT_TRUE(GetSpecialFolderPath(programs, CSIDL_PROGRAMS));
    EXPECT_TRUE(testing_support::FolderExists(programs)) << testing_support::ToUtf8(programs);
    EXPECT_NE(programs.find(L"\\Start Menu\\Programs"), std::wstring::npos)
        << testing_support::ToUtf8(programs);

    std::wstring desktop;
    ASSERT_TRUE(GetSpecialFolderPath(desktop, CSIDL_DESKTOP));
    EXPECT_TRUE(testing_support::FolderExists(desktop)) << testing_support::ToUtf8(desktop);

    // "My Computer" is a shell folder without a file-system path.
    std::wstring computer = L"left over";
    EXPECT_FALSE(GetSpecialFolderPath(computer, CSIDL_DRIVES));
    EXPECT_EQ(computer, L"");
    EXPECT_FALSE(GetSpecialFolderPath(computer, 0x7E));
}
