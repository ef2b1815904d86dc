// Folder tree operations and path joining on real folders. Nothing here
// reaches the restart schedule (see robust_delete_test.cpp for that).
#include "fs/folder_tree.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "fs/fs_test_helpers.h"
#include "fs/join_path.h"
#include "logging/logger.h"
#include "support/test_support.h"

using fs_testing::HeldFile;
using fs_testing::ListNames;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::MakeFolderLink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

TEST(JoinPath, OneSeparatorBetweenThePieces) {
    EXPECT_EQ(JoinPath(L"D:\\X\\", L"\\Y"), L"D:\\X\\Y");
    EXPECT_EQ(JoinPath(L"D:\\X\\", L"Y"), L"D:\\X\\Y");
    EXPECT_EQ(JoinPath(L"D:\\X", L"\\Y"), L"D:\\X\\Y");
    EXPECT_EQ(JoinPath(L"D:\\X", L"Y"), L"D:\\X\\Y");
    EXPECT_EQ(JoinPath(L"", L"Y"), L"Y");
    EXPECT_EQ(JoinPath(L"D:\\X", L""), L"D:\\X");
    EXPECT_EQ(JoinPath(L"", L""), L"");
    // Only one separator is dropped; nothing inside a piece changes.
    EXPECT_EQ(JoinPath(L"D:\\X\\\\", L"\\\\Y"), L"D:\\X\\\\\\Y");
    EXPECT_EQ(JoinPath(L"D:/X", L"..\\Y/Z"), L"D:/X\\..\\Y/Z");
    EXPECT_EQ(JoinPath(L"D:\\X", L"Y\\", L"\\Z"), L"D:\\X\\Y\\Z");
    EXPECT_EQ(JoinPath(L"", L"", L"Z"), L"Z");
}

TEST(CreatePathFolders, CreatesEveryLevelUpToTheLastBackslash) {
    TempFolder root;
    EXPECT_TRUE(CreatePathFolders((root / L"X\\Y\\Z").c_str()));
    EXPECT_TRUE(FolderExists(root / L"X\\Y"));
    EXPECT_FALSE(FolderExists(root / L"X\\Y\\Z"));
    EXPECT_TRUE(CreatePathFolders((root / L"X\\Y\\Z\\").c_str()));
    EXPECT_TRUE(FolderExists(root / L"X\\Y\\Z"));

    EXPECT_TRUE(CreatePathFolders(L"C:\\"));
    EXPECT_TRUE(CreatePathFolders(nullptr));
    EXPECT_TRUE(CreatePathFolders(L""));

    // A file where a folder should be stops the creation.
    WriteFileBytes(root / L"file", "x");
    EXPECT_FALSE(CreatePathFolders((root / L"file\\below\\").c_str()));
    EXPECT_FALSE(FolderExists(root / L"file\\below"));

    // Longer than MAX_PATH, where Windows' plain calls stop: created all the same.
    const fs_testing::TreeRemoval removal(root / L"level-0123456789");
    std::wstring deep = root.Path();
    while (deep.size() <= MAX_PATH + 40) deep += L"\\level-0123456789";
    EXPECT_TRUE(CreatePathFolders((deep + L"\\").c_str()));
    EXPECT_TRUE(FolderExists(L"\\\\?\\" + deep));
}

TEST(CopyFolderTree, CopiesTheWholeTreeOnlyIntoANewFolder) {
    TempFolder root;
    const std::wstring source = root / L"source";
    WriteFileBytes(source + L"\\Brand.ini", "[BRANDING]\r\n");
    WriteFileBytes(source + L"\\img\\Brand.ico", std::string("\0\1\2\3", 4));
    WriteFileBytes(source + L"\\img\\deeper\\note.txt", "note");
    CreateDirectoryW((source + L"\\empty").c_str(), nullptr);

    const std::wstring copy = root / L"copy";
    EXPECT_TRUE(CopyFolderTree(source.c_str(), copy.c_str()));
    EXPECT_EQ(ReadFileBytes(copy + L"\\Brand.ini"), "[BRANDING]\r\n");
    EXPECT_EQ(ReadFileBytes(copy + L"\\img\\Brand.ico"), std::string("\0\1\2\3", 4));
    EXPECT_EQ(ReadFileBytes(copy + L"\\img\\deeper\\note.txt"), "note");
    EXPECT_TRUE(FolderExists(copy + L"\\empty"));

    // Paths past MAX_PATH are copied too.
    const std::wstring deep = fs_testing::MakeLongFolder(root / L"deep");
    const fs_testing::TreeRemoval removal(root / L"deep");
    const fs_testing::TreeRemoval copyRemoval(root / L"deepcopy");
    ASSERT_TRUE(CreatePathFolders((deep + L"\\").c_str()));
    WriteFileBytes(L"\\\\?\\" + deep + L"\\far.txt", "far");
    EXPECT_TRUE(CopyFolderTree((root / L"deep").c_str(), (root / L"deepcopy").c_str()));
    EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + root.Path() + L"\\deepcopy" +
                            deep.substr((root / L"deep").size()) + L"\\far.txt"),
              "far");

    // An existing destination is refused before anything is copied.
    const std::wstring existing = root / L"existing";
    CreateDirectoryW(existing.c_str(), nullptr);
    EXPECT_FALSE(CopyFolderTree(source.c_str(), existing.c_str()));
    EXPECT_TRUE(ListNames(existing + L"\\*").empty());

    // A copy into the source itself would never end.
    EXPECT_FALSE(CopyFolderTree(source.c_str(), (source + L"\\img\\again").c_str()));
    EXPECT_FALSE(CopyFolderTree(source.c_str(), (source + L"\\").c_str()));
    EXPECT_FALSE(FolderExists(source + L"\\img\\again"));

    EXPECT_FALSE(CopyFolderTree((root / L"missing").c_str(), (root / L"x").c_str()));
    EXPECT_FALSE(FolderExists(root / L"x"));
    EXPECT_TRUE(CopyFolderTree(nullptr, (root / L"y").c_str()));
    EXPECT_TRUE(CopyFolderTree(source.c_str(), L""));
    EXPECT_FALSE(FolderExists(root / L"y"));

    // A file that cannot be read fails the copy; the destination stays.
    HeldFile holder(L"lock", source + L"\\img\\deeper\\note.txt");
    ASSERT_TRUE(holder.IsHeld());
    EXPECT_FALSE(CopyFolderTree(source.c_str(), (root / L"partial").c_str()));
    EXPECT_TRUE(FolderExists(root / L"partial"));
    EXPECT_FALSE(FileExists(root / L"partial\\img\\deeper\\note.txt"));
}

TEST(MoveFolderContents, MovesEntriesWholeAndStopsAtAConflict) {
    TempFolder root;
    const std::wstring source = root / L"installer";
    const std::wstring target = root / L"install";
    WriteFileBytes(source + L"\\Uninstall.exe", "new");
    WriteFileBytes(source + L"\\Branding\\Brand.ini", "brand");
    WriteFileBytes(target + L"\\Uninstall.exe", "old");

    EXPECT_TRUE(MoveFolderContents(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadFileBytes(target + L"\\Uninstall.exe"), "new");
    EXPECT_EQ(ReadFileBytes(target + L"\\Branding\\Brand.ini"), "brand");
    EXPECT_TRUE(ListNames(source + L"\\*").empty());

    // A sub-folder whose name exists in the destination is not merged.
    WriteFileBytes(source + L"\\Branding\\Brand.ico", "icon");
    EXPECT_FALSE(MoveFolderContents(source.c_str(), target.c_str()));
    EXPECT_TRUE(FileExists(source + L"\\Branding\\Brand.ico"));
    EXPECT_FALSE(FileExists(target + L"\\Branding\\Brand.ico"));

    // Nothing to do: no source, an empty source, an empty destination.
    EXPECT_TRUE(MoveFolderContents(nullptr, target.c_str()));
    EXPECT_TRUE(MoveFolderContents(L"", target.c_str()));
    EXPECT_TRUE(MoveFolderContents(source.c_str(), L""));
    EXPECT_TRUE(FileExists(source + L"\\Branding\\Brand.ico"));
    EXPECT_FALSE(MoveFolderContents((root / L"missing").c_str(), target.c_str()));
}

TEST(DeleteFolderTree, RemovesReadOnlyAndDeepTreesQuietly) {
    TempFolder root;
    const std::wstring log = root / L"log.txt";
    LogInitialize(log.c_str());
    const std::wstring tree = root / L"tree";
    WriteFileBytes(tree + L"\\settings.xml", "s");
    WriteFileBytes(tree + L"\\ico\\one.ico", "1");
    WriteFileBytes(tree + L"\\ico\\two.ico", "2");
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\settings.xml").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\ico\\two.ico").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const std::wstring deep = fs_testing::MakeLongFolder(tree + L"\\deep");
    // Names that only the "\\?\" form can reach: a plain call drops the
    // trailing dot or blank and names another file.
    CreateDirectoryW((L"\\\\?\\" + tree + L"\\dir.").c_str(), nullptr);
    for (const wchar_t* name : {L"\\odd.", L"\\blank ", L"\\dir.\\inner.txt "}) {
        WriteFileBytes(L"\\\\?\\" + tree + name, "odd");
    }
    // Read-only folders, as the shell marks customised ones (Windows keeps the
    // mark on a folder and refuses to remove it; Wine drops it).
    for (const std::wstring& folder : {tree + L"\\ico", tree}) {
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    }
    std::printf("read-only folder mark: %s\n",
                (GetFileAttributesW(tree.c_str()) & FILE_ATTRIBUTE_READONLY) != 0
                    ? "kept"
                    : "dropped (Wine)");
    const fs_testing::TreeRemoval removal(tree);

    // Given with a trailing backslash, as branding passes its folder.
    EXPECT_TRUE(DeleteFolderTree((tree + L"\\").c_str()));
    EXPECT_FALSE(FolderExists(tree));
    EXPECT_EQ(GetFileAttributesW((L"\\\\?\\" + deep).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(testing_support::ReadUtf16File(log), L"");

    EXPECT_FALSE(DeleteFolderTree(tree.c_str()));
    EXPECT_TRUE(DeleteFolderTree(nullptr));
    EXPECT_TRUE(DeleteFolderTree(L""));
}

TEST(FolderLinks, AreNeverEnteredWhenATreeIsDeletedOrCopied) {
    TempFolder root;
    const std::wstring log = root / L"log.txt";
    LogInitialize(log.c_str());
    const fs_testing::TemporaryFolderOverride temp(root / L"temp");
    CreateDirectoryW((root / L"temp").c_str(), nullptr);
    // The user's folders elsewhere: one holding a file, one empty.
    const std::wstring outside = root / L"outside";
    const std::wstring outsideEmpty = root / L"outside-empty";
    WriteFileBytes(outside + L"\\user.txt", "user's");
    CreateDirectoryW(outsideEmpty.c_str(), nullptr);

    const std::wstring tree = root / L"tree";
    WriteFileBytes(tree + L"\\own.txt", "own");
    WriteFileBytes(tree + L"\\sub\\own.txt", "own");
    ASSERT_TRUE(MakeFolderLink(tree + L"\\sub\\toOutside", outside));
    ASSERT_TRUE(MakeFolderLink(tree + L"\\toEmpty", outsideEmpty));
    ASSERT_TRUE(MakeFolderLink(tree + L"\\sub\\up", tree));  // a loop

    // Copied without the links: no copy of the outside file, no endless loop.
    const std::wstring copy = root / L"copy";
    EXPECT_TRUE(CopyFolderTree(tree.c_str(), copy.c_str()));
    EXPECT_EQ(testing_support::ListTree(copy),
              (std::vector<std::wstring>{L"own.txt", L"sub\\", L"sub\\own.txt"}));

    // Pruned of every file: the links keep their folders, what they point at
    // is not looked into, and the folder without one goes.
    const std::wstring pruned = root / L"pruned";
    ASSERT_TRUE(CopyFolderTree(tree.c_str(), pruned.c_str()));
    WriteFileBytes(pruned + L"\\empty\\own.txt", "own");
    ASSERT_TRUE(MakeFolderLink(pruned + L"\\sub\\toOutside", outside));
    EXPECT_FALSE(PruneFolderTree(pruned.c_str(), [](const std::wstring&) { return true; }));
    EXPECT_EQ(testing_support::ListTree(pruned),
              (std::vector<std::wstring>{L"sub\\", L"sub\\toOutside\\",
                                         L"sub\\toOutside\\user.txt"}));
    EXPECT_FALSE(PruneFolderTree((pruned + L"\\sub\\toOutside").c_str(),
                                 [](const std::wstring&) { return true; }));
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\user.txt"), "user's");

    // Deleted: the tree goes from its place and what the links point at stays
    // whole. Windows deletes each link itself. Wine opens only a link's target,
    // so there the links stay, their folders cannot be removed and the robust
    // deletion moves those folders, links inside, into the temporary folder.
    DeleteFolderTree(tree.c_str());
    EXPECT_FALSE(FolderExists(tree));
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\user.txt"), "user's");
    EXPECT_TRUE(FolderExists(outsideEmpty));
    const bool linksStayed = testing_support::ReadUtf16File(log).find(
                                 L"Failed to delete link \"" + tree) != std::wstring::npos;
    std::printf("links %s\n", linksStayed ? "left in place (Wine), their folders moved to the "
                                            "temporary folder"
                                          : "deleted");

    // A tree that is itself a link: the link goes (or stays, on Wine); its
    // target keeps its file either way.
    ASSERT_TRUE(MakeFolderLink(root / L"linked", outside));
    EXPECT_EQ(DeleteFolderTree((root / L"linked").c_str()), !linksStayed);
    EXPECT_EQ(GetFileAttributesW((root / L"linked").c_str()) == INVALID_FILE_ATTRIBUTES,
              !linksStayed);
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\user.txt"), "user's");
}
