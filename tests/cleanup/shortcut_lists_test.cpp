#include "cleanup/shortcut_lists.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "cleanup/registry_and_shell_helpers.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace cleanup_testing;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

const std::wstring kStartupList = L"Software\\Quellmoor\\StartupShortcuts";
const std::wstring kGroups = L"Software\\Quellmoor\\Shortcuts";

// Each test logs into a file of its own and works on a sandboxed registry.
class ShortcutLists : public ::testing::Test {
  protected:
    void SetUp() override {
        DefaultLogModule = 33;
        LogInitialize(log_.c_str());
    }
    void TearDown() override { LogInitialize(nullptr); }

    std::wstring Log() const { return testing_support::ReadUtf16File(log_); }
    size_t Count(const std::wstring& text) const {
        const std::wstring log = Log();
        size_t count = 0;
        for (size_t at = log.find(text); at != std::wstring::npos; at = log.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    TempFolder files_;
    std::wstring log_ = files_ / L"log.txt";
    testing_support::RegistrySandbox sandbox_;
};

}  // namespace

TEST_F(ShortcutLists, ListedFilesAndTheirValuesGoByTheirFlag) {
    const HKEY root = HKEY_CURRENT_USER;
    // First, a name too long for any plain path: it stays, and the values
    // after it are still handled.
    const std::wstring tooLong = files_ / (std::wstring(300, L'n') + L".lnk");
    SetDwordValue(root, kStartupList, tooLong.c_str(), 1);
    // Data 1: the file and its emptied parents go, up to a folder that still
    // holds something.
    const std::wstring deep = files_ / L"A\\B\\C\\deep.lnk";
    WriteFileBytes(deep, "link");
    WriteFileBytes(files_ / L"A\\other.txt", "stays");
    SetDwordValue(root, kStartupList, deep.c_str(), 1);
    // Data 0: only the file goes, its empty folder stays.
    const std::wstring flat = files_ / L"Flat\\flat.lnk";
    WriteFileBytes(flat, "link");
    SetDwordValue(root, kStartupList, flat.c_str(), 0);
    // Forward slashes: deleted as listed, folders walked as if backslashes.
    std::wstring slashed = files_ / L"S1/S2/slashed.lnk";
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    WriteFileBytes(files_ / L"S1\\S2\\slashed.lnk", "link");
    SetDwordValue(root, kStartupList, slashed.c_str(), 1);
    // A 1 of another type, and a 1 of another size, count as 0.
    const std::wstring binary = files_ / L"Bin\\binary.lnk";
    WriteFileBytes(binary, "link");
    const BYTE one[4] = {1, 0, 0, 0};
    SetRawValue(root, kStartupList, binary.c_str(), REG_BINARY, one, sizeof(one));
    const std::wstring wide = files_ / L"Wide\\wide.lnk";
    WriteFileBytes(wide, "link");
    const ULONGLONG bigOne = 1;
    SetRawValue(root, kStartupList, wide.c_str(), REG_QWORD, &bigOne, sizeof(bigOne));
    // A file that is not there: its value goes all the same.
    const std::wstring missing = files_ / L"Gone\\missing.lnk";
    SetDwordValue(root, kStartupList, missing.c_str(), 1);
    // A file that cannot be deleted (read-only here): it stays, its value goes.
    const std::wstring locked = files_ / L"Locked\\locked.lnk";
    WriteFileBytes(locked, "link");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    SetDwordValue(root, kStartupList, locked.c_str(), 1);
    // Files that are no shortcuts stay, with their folders; their values go.
    const std::wstring document = files_ / L"Docs\\report.docx";
    WriteFileBytes(document, "the user's work");
    SetDwordValue(root, kStartupList, document.c_str(), 1);
    const std::wstring lookalike = files_ / L"Docs\\notes.lnk.txt";
    WriteFileBytes(lookalike, "notes");
    SetDwordValue(root, kStartupList, lookalike.c_str(), 0);
    const std::wstring upperCase = files_ / L"Upper\\UPPER.LNK";
    WriteFileBytes(upperCase, "link");
    SetDwordValue(root, kStartupList, upperCase.c_str(), 0);

    CleanShortcutList(root, kStartupList.c_str());

    EXPECT_FALSE(FileExists(deep));
    EXPECT_FALSE(FolderExists(files_ / L"A\\B"));
    EXPECT_TRUE(FileExists(files_ / L"A\\other.txt"));
    EXPECT_FALSE(FileExists(flat));
    EXPECT_TRUE(FolderExists(files_ / L"Flat"));
    EXPECT_FALSE(FileExists(files_ / L"S1\\S2\\slashed.lnk"));
    EXPECT_FALSE(FolderExists(files_ / L"S1"));
    EXPECT_FALSE(FileExists(binary));
    EXPECT_TRUE(FolderExists(files_ / L"Bin"));
    EXPECT_FALSE(FileExists(wide));
    EXPECT_TRUE(FolderExists(files_ / L"Wide"));
    EXPECT_TRUE(FileExists(locked));
    EXPECT_EQ(testing_support::ReadFileBytes(document), "the user's work");
    EXPECT_TRUE(FileExists(lookalike));
    EXPECT_FALSE(FileExists(upperCase));
    EXPECT_EQ(Count(L"[W 21/00000013/"), 3u);
    EXPECT_EQ(Count(L" - A file listed in " + kStartupList +
                    L" has a name of more than 259 characters; it is left in place.\r\n"),
              1u);
    EXPECT_EQ(Count(L" - Listed file " + document + L" is not a shortcut; it is left in place.\r\n"),
              1u);
    // The walk stopped at the test's own folder, which still holds files.
    EXPECT_TRUE(FolderExists(files_.Path()));

    EXPECT_TRUE(KeyExists(root, kStartupList));
    EXPECT_EQ(ValueNames(root, kStartupList), std::vector<std::wstring>{tooLong});
    EXPECT_EQ(Count(L"[I 21/00000013/"), 1u);
    EXPECT_EQ(Count(L" - Cleaning old shortcuts: Software\\Quellmoor\\StartupShortcuts.\r\n"), 1u);
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ShortcutLists, MissingOrUnnamedListsOnlyLeaveTheLogLine) {
    const HKEY root = HKEY_CURRENT_USER;
    // Values directly under the root must never be taken for a list.
    const std::wstring bystander = files_ / L"bystander.lnk";
    WriteFileBytes(bystander, "link");
    SetDwordValue(root, L"", bystander.c_str(), 0);

    CleanShortcutList(root, kStartupList.c_str());
    CleanShortcutList(root, L"");
    CleanShortcutList(root, nullptr);
    CleanAllShortcutLists(root);

    EXPECT_TRUE(FileExists(bystander));
    EXPECT_TRUE(ValueExists(root, L"", bystander.c_str()));
    EXPECT_FALSE(KeyExists(root, kStartupList));
    EXPECT_FALSE(KeyExists(root, kGroups));
    EXPECT_EQ(Count(L" - Cleaning old shortcuts: Software\\Quellmoor\\StartupShortcuts.\r\n"), 1u);
    EXPECT_EQ(Count(L" - Cleaning old shortcuts: .\r\n"), 2u);
    EXPECT_EQ(Count(L" - Cleaning all old shortcuts: Software\\Quellmoor\\Shortcuts.\r\n"), 1u);

    // A value name too long for the name buffer ends the walk of its list.
    const std::wstring longName = L"C:\\" + std::wstring(300, L'n') + L".lnk";
    SetDwordValue(root, kStartupList, longName.c_str(), 1);
    CleanShortcutList(root, kStartupList.c_str());
    EXPECT_TRUE(ValueExists(root, kStartupList, longName.c_str()));
}

TEST_F(ShortcutLists, EveryGroupIsCleanedAndDeletedUnlessItHasSubkeys) {
    const HKEY root = HKEY_CURRENT_USER;
    const std::wstring first = files_ / L"G1\\one.lnk";
    const std::wstring nested = files_ / L"G2\\two.lnk";
    const std::wstring inner = files_ / L"G2\\inner.lnk";
    const std::wstring last = files_ / L"G3\\three.lnk";
    for (const auto& file : {first, nested, inner, last}) WriteFileBytes(file, "link");
    SetDwordValue(root, kGroups + L"\\G1", first.c_str(), 1);
    SetDwordValue(root, kGroups + L"\\G2", nested.c_str(), 0);
    SetDwordValue(root, kGroups + L"\\G2\\Inner", inner.c_str(), 0);
    SetDwordValue(root, kGroups + L"\\G3", last.c_str(), 1);

    CleanAllShortcutLists(root);

    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FolderExists(files_ / L"G1"));
    EXPECT_FALSE(FileExists(nested));
    EXPECT_FALSE(FileExists(last));
    EXPECT_FALSE(FolderExists(files_ / L"G3"));
    // The nested group's own list is not walked; it stays with its value.
    EXPECT_TRUE(FileExists(inner));
    EXPECT_TRUE(ValueExists(root, kGroups + L"\\G2\\Inner", inner.c_str()));
    EXPECT_TRUE(ValueNames(root, kGroups + L"\\G2").empty());
    EXPECT_EQ(SubkeyNames(root, kGroups), std::vector<std::wstring>{L"G2"});

    const std::wstring log = Log();
    const size_t all = log.find(L" - Cleaning all old shortcuts: Software\\Quellmoor\\Shortcuts.");
    const size_t g1 = log.find(L" - Cleaning old shortcuts: Software\\Quellmoor\\Shortcuts\\G1.");
    const size_t g2 = log.find(L" - Cleaning old shortcuts: Software\\Quellmoor\\Shortcuts\\G2.");
    const size_t g3 = log.find(L" - Cleaning old shortcuts: Software\\Quellmoor\\Shortcuts\\G3.");
    ASSERT_NE(all, std::wstring::npos);
    EXPECT_TRUE(all < g1 && g1 < g2 && g2 < g3 && g3 != std::wstring::npos) << log;
    EXPECT_EQ(Count(L"[I 21/00000013/"), 4u);

    // The group that stays is visited once per run, and the run ends.
    CleanAllShortcutLists(root);
    EXPECT_EQ(Count(L"Shortcuts\\G2."), 2u);
    EXPECT_TRUE(KeyExists(root, kGroups));
}

TEST_F(ShortcutLists, ParentWalkStaysWithinWhatThePathNames) {
    // Without any separator only the file (relative to the current folder) goes.
    TempFolder current;
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));
    WriteFileBytes(current / L"plain.lnk", "link");
    DeleteFileAndEmptyParents(L"plain.lnk");
    EXPECT_FALSE(FileExists(current / L"plain.lnk"));
    EXPECT_TRUE(FolderExists(current.Path()));

    // Emptying a folder right under a drive root: the walk stops at "C:",
    // which names the drive's current folder (here empty), not the root.
    const std::wstring top = L"C:\\walk-" + std::to_wstring(GetCurrentProcessId());
    WriteFileBytes(top + L"\\x.lnk", "link");
    DeleteFileAndEmptyParents((top + L"\\x.lnk").c_str());
    EXPECT_FALSE(FolderExists(top));
    EXPECT_TRUE(FolderExists(current.Path()));

    // A folder in use stops the walk.
    WriteFileBytes(files_ / L"U\\V\\y.lnk", "link");
    ASSERT_TRUE(SetCurrentDirectoryW((files_ / L"U").c_str()));
    DeleteFileAndEmptyParents((files_ / L"U\\V\\y.lnk").c_str());
    EXPECT_FALSE(FolderExists(files_ / L"U\\V"));
    ASSERT_TRUE(SetCurrentDirectoryW(saved));
    EXPECT_TRUE(FolderExists(files_ / L"U"));

    DeleteFileAndEmptyParents(nullptr);
    DeleteFileAndEmptyParents(L"");
}

TEST_F(ShortcutLists, ParentWalkKeepsTheUsersFoldersAndFolderLinks) {
    // A shell folder that the listed link leaves empty stays, and so does
    // every folder above it; the folders below it go.
    const std::wstring local = files_ / L"Local";
    WriteFileBytes(local + L"\\Vendor\\Client\\x.lnk", "link");
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
    SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
    DeleteFileAndEmptyParents((local + L"\\Vendor\\Client\\x.lnk").c_str());
    SetEnvironmentVariableW(L"LOCALAPPDATA", savedLength > 0 ? saved : nullptr);
    EXPECT_FALSE(FolderExists(local + L"\\Vendor"));
    EXPECT_TRUE(FolderExists(local));

    // The profile's lesser-known folders as well: the prefix's Favorites.
    PWSTR favorites = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Favorites, KF_FLAG_CREATE, nullptr, &favorites)));
    // Listed by any name the system takes for it: plain or in the device namespace.
    for (const wchar_t* prefix : {L"", L"\\\\.\\", L"\\??\\", L"\\\\?\\"}) {
        SCOPED_TRACE(testing_support::ToUtf8(prefix));
        const std::wstring favorite = std::wstring(favorites) + L"\\listed.lnk";
        WriteFileBytes(favorite, "link");
        DeleteFileAndEmptyParents((prefix + favorite).c_str());
        EXPECT_FALSE(FileExists(favorite));
        EXPECT_TRUE(FolderExists(favorites));
    }
    // By a volume name, which the walk cannot place among the user's folders:
    // only the file goes (Wine reaches no file by a volume name; the file stays).
    wchar_t volume[MAX_PATH] = {};
    const std::wstring favoritesFolder(favorites);
    if (GetVolumeNameForVolumeMountPointW(favoritesFolder.substr(0, 3).c_str(), volume, MAX_PATH)) {
        const std::wstring favorite = favoritesFolder + L"\\listed.lnk";
        WriteFileBytes(favorite, "link");
        DeleteFileAndEmptyParents((volume + favorite.substr(3)).c_str());
        std::printf("listed by a volume name: the file %s\n",
                    FileExists(favorite) ? "stays (Wine)" : "is deleted");
        EXPECT_TRUE(FolderExists(favorites));
        DeleteFileW(favorite.c_str());
    }
    CoTaskMemFree(favorites);

    // A folder link on the way ends the walk: neither the link nor its
    // (now empty) target is removed.
    const std::wstring target = files_ / L"Target";
    WriteFileBytes(target + L"\\y.lnk", "link");
    CreateDirectoryW((files_ / L"Outer").c_str(), nullptr);
    ASSERT_TRUE(testing_support::MakeFolderLink(files_ / L"Outer\\Linked", target));
    DeleteFileAndEmptyParents((files_ / L"Outer\\Linked\\y.lnk").c_str());
    EXPECT_FALSE(FileExists(target + L"\\y.lnk"));
    EXPECT_TRUE(FolderExists(target));
    EXPECT_NE(GetFileAttributesW((files_ / L"Outer\\Linked").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FolderExists(files_ / L"Outer"));
}
