// Robust deletion under real in-use conditions. These tests reach the restart
// schedule, so they run with the prefix state locked and put the pending list
// back afterwards.
#include "fs/robust_delete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "fs/folder_tree.h"
#include "fs/fs_test_helpers.h"
#include "logging/logger.h"
#include "support/test_support.h"
#include "win/wide_format.h"

using fs_testing::HeldFile;
using fs_testing::IsPendingDeletion;
using fs_testing::ListNames;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::WriteFileBytes;

namespace {

const std::wstring kLongPathPrefix = L"\\\\?\\";

class RobustDeleteTest : public ::testing::Test {
  protected:
    RobustDeleteTest()
        : temp_(root_ / L"temp"), logPath_(root_ / L"log.txt"), tempOverride_(temp_) {
        CreateDirectoryW(temp_.c_str(), nullptr);
        LogInitialize(logPath_.c_str());
    }

    std::vector<std::wstring> LogLines() const {
        std::vector<std::wstring> lines;
        std::wistringstream stream(testing_support::ReadUtf16File(logPath_));
        for (std::wstring line; std::getline(stream, line);) {
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    // The log holds message followed by the system error's text and code.
    bool Logged(const std::wstring& message, DWORD error) const {
        const std::wstring tail = FormatWide(L"[0x%08x])", error);
        for (const std::wstring& line : LogLines()) {
            if (line.find(L" - " + message + L" (") != std::wstring::npos && line.ends_with(tail)) {
                return true;
            }
        }
        return false;
    }

    bool LoggedAnything(const std::wstring& text) const {
        for (const std::wstring& line : LogLines()) {
            if (line.find(text) != std::wstring::npos) return true;
        }
        return false;
    }

    // The placeholders in the test's temporary folder, as full paths.
    std::vector<std::wstring> Placeholders() const {
        std::vector<std::wstring> paths;
        for (const std::wstring& name : ListNames(temp_ + L"\\tpd*.tmp")) {
            paths.push_back(temp_ + L"\\" + name);
        }
        return paths;
    }

    testing_support::TempFolder root_;
    std::wstring temp_;
    std::wstring logPath_;
    fs_testing::TemporaryFolderOverride tempOverride_;
    fs_testing::PendingRenamesSnapshot pendingRenames_;
};

// Writes a file through the long-path form, so that any length works.
void WriteLongPathFile(const std::wstring& path, const char* text) {
    const HANDLE file = CreateFileW((kLongPathPrefix + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

TEST_F(RobustDeleteTest, MissingObjectsAndMissingParentsAreQuietSuccess) {
    EXPECT_TRUE(DeleteFileRobust(nullptr));
    EXPECT_TRUE(DeleteFileRobust(L""));
    EXPECT_TRUE(RemoveFolderRobust(nullptr));
    EXPECT_TRUE(DeleteFileRobust((root_ / L"absent.txt").c_str()));

    // A file or folder whose folder does not exist is already deleted: no
    // record, no placeholder, no restart entry, and the folder is not created.
    const std::wstring orphan = root_ / L"no-such-folder\\file.txt";
    EXPECT_TRUE(DeleteFileRobust(orphan.c_str()));
    EXPECT_TRUE(RemoveFolderRobust((root_ / L"no-such-folder\\sub").c_str()));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Placeholders().empty());
    EXPECT_FALSE(IsPendingDeletion(orphan));
    EXPECT_FALSE(FolderExists(root_ / L"no-such-folder"));
}

TEST_F(RobustDeleteTest, AFolderUnderTheFilesNameStaysWhereItIs) {
    // The chain would have moved it, with what it holds, into the temporary
    // folder (seen under Wine) or entered it for deletion at restart.
    const std::wstring folder = root_ / L"SessionIDs.cache";
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileBytes(folder + L"\\mine.txt", "user");

    EXPECT_FALSE(DeleteFileRobust(folder.c_str()));
    EXPECT_TRUE(FileExists(folder + L"\\mine.txt"));
    EXPECT_TRUE(Placeholders().empty());
    EXPECT_FALSE(IsPendingDeletion(folder));
    EXPECT_TRUE(LoggedAnything(L"[W 00/00000069/"));
    EXPECT_TRUE(
        LoggedAnything(L"\"" + folder + L"\" is a folder, not a file; it is left in place"));
    EXPECT_FALSE(LoggedAnything(L"Failed"));
}

TEST_F(RobustDeleteTest, FileHeldWithoutSharingIsScheduledForRestart) {
    const std::wstring path = root_ / L"held.txt";
    WriteFileBytes(path, "payload");
    HeldFile holder(L"lock", path);
    ASSERT_TRUE(holder.IsHeld());

    EXPECT_TRUE(DeleteFileRobust(path.c_str()));

    // The placeholder it could not be moved onto is removed again; the log names it.
    EXPECT_TRUE(Placeholders().empty());
    EXPECT_TRUE(Logged(L"Failed to delete file \"" + path + L"\"", ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(LoggedAnything(L"Failed to move file \"" + path + L"\" to temp \"" + temp_ +
                               L"\\tpd"));
    EXPECT_TRUE(Logged(L"Failed to mark file for deletion \"" + path + L"\" on close",
                       ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(LoggedAnything(L"on reboot"));
    EXPECT_TRUE(IsPendingDeletion(path));
    EXPECT_TRUE(FileExists(path));  // still in use, untouched
}

TEST_F(RobustDeleteTest, FileThatOnlyRenamesIsMovedIntoTheTemporaryFolder) {
    // A mapped program image cannot be deleted, overwritten or opened for
    // deletion, but it can be renamed.
    const std::wstring program = root_ / L"mapped.exe";
    ASSERT_TRUE(CopyFileW((testing_support::BinFolder() + L"\\file_holder.exe").c_str(),
                          program.c_str(), FALSE));
    HeldFile holder(L"image", program);
    ASSERT_TRUE(holder.IsHeld());

    EXPECT_TRUE(DeleteFileRobust(program.c_str()));

    EXPECT_FALSE(FileExists(program));
    const auto placeholders = Placeholders();
    ASSERT_EQ(placeholders.size(), 1u);
    EXPECT_TRUE(FileExists(placeholders[0]));
    EXPECT_TRUE(Logged(L"Failed to delete file \"" + program + L"\"", ERROR_ACCESS_DENIED));
    EXPECT_FALSE(LoggedAnything(L"Failed to move file"));
    EXPECT_TRUE(LoggedAnything(L"Failed to mark file for deletion \"" + placeholders[0] +
                               L"\" on close ("));
    EXPECT_TRUE(IsPendingDeletion(placeholders[0]));

    // A read-only file is refused by the plain deletion, moved and removed.
    const std::wstring readOnly = root_ / L"read-only.txt";
    WriteFileBytes(readOnly, "kept until now");
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFileRobust(readOnly.c_str()));
    EXPECT_FALSE(FileExists(readOnly));
    EXPECT_TRUE(Logged(L"Failed to delete file \"" + readOnly + L"\"", ERROR_ACCESS_DENIED));
    EXPECT_FALSE(LoggedAnything(L"Failed to move file \"" + readOnly));
}

TEST_F(RobustDeleteTest, LongPathsAndATooLongTemporaryFolder) {
    const std::wstring folder = fs_testing::MakeLongFolder(root_ / L"long");
    const fs_testing::TreeRemoval removal(root_ / L"long");
    const std::wstring file = folder + L"\\file.txt";
    ASSERT_GT(file.size(), static_cast<size_t>(MAX_PATH));
    WriteLongPathFile(file, "deep");
    EXPECT_TRUE(DeleteFileRobust(file.c_str()));
    EXPECT_EQ(GetFileAttributesW((kLongPathPrefix + file).c_str()), INVALID_FILE_ATTRIBUTES);

    // Missing below a long path too, confirmed through the long form.
    const std::wstring orphan = folder + L"\\missing\\file.txt";
    const size_t placeholdersBefore = Placeholders().size();
    EXPECT_TRUE(DeleteFileRobust(orphan.c_str()));
    EXPECT_FALSE(LoggedAnything(orphan));
    EXPECT_EQ(Placeholders().size(), placeholdersBefore);

    // A temporary folder too long for a placeholder: the move has no target and
    // the chain goes on under the path as given.
    const std::wstring longTemp = folder + L"\\temp";
    ASSERT_GT(longTemp.size(), 245u);
    CreateDirectoryW((kLongPathPrefix + longTemp).c_str(), nullptr);
    fs_testing::TemporaryFolderOverride tooLong(longTemp);
    const std::wstring held = root_ / L"held.txt";
    WriteFileBytes(held, "payload");
    HeldFile holder(L"lock", held);
    ASSERT_TRUE(holder.IsHeld());
    EXPECT_TRUE(DeleteFileRobust(held.c_str()));
    EXPECT_TRUE(LoggedAnything(L"Failed to move file \"" + held + L"\" to temp \"\" ("));
    EXPECT_TRUE(Logged(L"Failed to mark file for deletion \"" + held + L"\" on close",
                       ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(IsPendingDeletion(held));
    EXPECT_TRUE(ListNames(kLongPathPrefix + longTemp + L"\\*").empty());
}

TEST_F(RobustDeleteTest, FolderVariant) {
    const std::wstring empty = root_ / L"empty";
    ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
    EXPECT_TRUE(RemoveFolderRobust(empty.c_str()));
    EXPECT_FALSE(FolderExists(empty));
    EXPECT_TRUE(RemoveFolderRobust(empty.c_str()));  // already gone
    EXPECT_TRUE(LogLines().empty());

    // Not empty: the whole chain runs; the content is never lost, wherever
    // the system lets the folder go.
    const std::wstring full = root_ / L"full";
    WriteFileBytes(full + L"\\inner.txt", "inner");
    EXPECT_TRUE(RemoveFolderRobust(full.c_str()));
    EXPECT_TRUE(Logged(L"Failed to delete folder \"" + full + L"\"", ERROR_DIR_NOT_EMPTY));
    const auto placeholders = Placeholders();
    ASSERT_EQ(placeholders.size(), 1u);
    // The folder takes the placeholder's name once the empty placeholder file
    // is gone (Windows does not let a folder replace a file; Wine would).
    const std::wstring workingName = placeholders[0];
    EXPECT_FALSE(FolderExists(full));
    EXPECT_TRUE(FolderExists(workingName));
    EXPECT_FALSE(LoggedAnything(L"Failed to move folder"));
    EXPECT_EQ(testing_support::ReadFileBytes(workingName + L"\\inner.txt"), "inner");
    EXPECT_TRUE(
        LoggedAnything(L"Failed to mark folder for deletion \"" + workingName + L"\" on close ("));
    EXPECT_TRUE(IsPendingDeletion(workingName));
}

TEST_F(RobustDeleteTest, TreeWithAFileInUseDeletesTheRestAndRunsBothChains) {
    const std::wstring tree = root_ / L"tree";
    WriteFileBytes(tree + L"\\a.txt", "a");
    WriteFileBytes(tree + L"\\sub\\held.txt", "held");
    WriteFileBytes(tree + L"\\sub\\read-only.txt", "b");
    WriteFileBytes(tree + L"\\z.txt", "z");
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\sub\\read-only.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    HeldFile holder(L"lock", tree + L"\\sub\\held.txt");
    ASSERT_TRUE(holder.IsHeld());

    EXPECT_TRUE(DeleteFolderTree(tree.c_str()));

    // The loop went on past the file in use.
    EXPECT_TRUE(
        Logged(L"Failed to delete file \"" + tree + L"\\sub\\held.txt\"", ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(LoggedAnything(L"read-only.txt"));
    EXPECT_FALSE(FileExists(tree + L"\\a.txt"));
    EXPECT_FALSE(FileExists(tree + L"\\z.txt"));
    EXPECT_FALSE(FileExists(tree + L"\\sub\\read-only.txt"));
    // The folder still holding it ran the folder chain, and the file in use is
    // either where it was or, with its folder, under a placeholder name.
    EXPECT_TRUE(Logged(L"Failed to delete folder \"" + tree + L"\\sub\"", ERROR_DIR_NOT_EMPTY));
    const auto placeholders = Placeholders();
    const bool stayed = FileExists(tree + L"\\sub\\held.txt");
    const bool moved = std::any_of(placeholders.begin(), placeholders.end(),
                                   [](auto& p) { return FileExists(p + L"\\held.txt"); });
    EXPECT_TRUE(stayed || moved);
    if (stayed) {
        EXPECT_TRUE(LoggedAnything(L"Failed to delete folder \"" + tree + L"\" ("));
        EXPECT_TRUE(IsPendingDeletion(tree));
    } else {
        EXPECT_FALSE(FolderExists(tree));
    }
}

TEST_F(RobustDeleteTest, MoveToAnotherVolumeFails) {
    if (GetDriveTypeW(L"Y:\\") == DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "no drive Y: in this prefix";
    const std::wstring source = root_ / L"payload";
    WriteFileBytes(source + L"\\one.txt", "1");
    WriteFileBytes(source + L"\\sub\\two.txt", "2");
    const std::wstring target = L"Y:\\move-target-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));

    EXPECT_FALSE(MoveFolderContents(source.c_str(), target.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
    EXPECT_TRUE(ListNames(target + L"\\*").empty());
    EXPECT_TRUE(FileExists(source + L"\\one.txt"));
    EXPECT_TRUE(FileExists(source + L"\\sub\\two.txt"));
    testing_support::RemoveTree(target);
}

TEST_F(RobustDeleteTest, DriveRootListingStartsWithARealEntry) {
    if (GetDriveTypeW(L"Y:\\") == DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "no drive Y: in this prefix";
    const std::wstring marker =
        L"Y:\\root-file-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    WriteFileBytes(marker, "root");
    const auto rootNames = ListNames(L"Y:\\*");
    WIN32_FIND_DATAW first;
    const HANDLE find = FindFirstFileW(L"Y:\\*", &first);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    ASSERT_STRNE(first.cFileName, L".");  // a root has no "." entry

    const std::wstring copy = root_ / L"copy";
    EXPECT_TRUE(CopyFolderTree(L"Y:\\", copy.c_str()));
    EXPECT_TRUE(testing_support::FileExists(copy + L"\\" + first.cFileName) ||
                FolderExists(copy + L"\\" + first.cFileName));
    EXPECT_EQ(ListNames(copy + L"\\*").size(), rootNames.size());
    DeleteFileW(marker.c_str());
}
