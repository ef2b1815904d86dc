#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "cleanup/registry_and_shell_helpers.h"
#include "cleanup/shortcut_lists.h"
#include "logging/logger.h"
#include "support/test_support.h"

using testing_support::FileExists;
using testing_support::TempFolder;

TEST(StartupShortcut, DeletesTheClientLinkInTheUsersStartupFolderAndLogsIt) {
    TempFolder files;
    const std::wstring startup = files / L"Startup";
    CreateDirectoryW(startup.c_str(), nullptr);
    cleanup_testing::ShellFolderRedirect redirect(L"Startup", startup);
    const std::wstring log = files / L"log.txt";
    DefaultLogModule = 33;
    LogInitialize(log.c_str());

    const std::wstring link = startup + L"\\HLX Client.lnk";
    testing_support::WriteFileBytes(link, "link");
    testing_support::WriteFileBytes(startup + L"\\Other.lnk", "link");

    EXPECT_TRUE(RemoveStartupShortcut());
    EXPECT_FALSE(FileExists(link));
    EXPECT_TRUE(FileExists(startup + L"\\Other.lnk"));

    // Nothing left to delete: the line is written again and the result is false.
    EXPECT_FALSE(RemoveStartupShortcut());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    LogInitialize(nullptr);

    const std::wstring text = testing_support::ReadUtf16File(log);
    const std::wstring line = L" - Cleaning startup shortcut " + link + L".\r\n";
    const size_t first = text.find(line);
    ASSERT_NE(first, std::wstring::npos) << text;
    EXPECT_NE(text.find(line, first + 1), std::wstring::npos);
    // Information level, module 33 (0x21), code 18.
    const size_t header = text.find(L"[I 21/00000012/");
    ASSERT_LT(header, first) << text;
    EXPECT_EQ(text.find(L"\r\n", header), first + line.size() - 2) << text;
}

TEST(StartupShortcut, TheRecordIsWrittenAlsoWhenThePathIsUnknownOrTooLong) {
    TempFolder files;
    const std::wstring log = files / L"log.txt";
    DefaultLogModule = 33;
    LogInitialize(log.c_str());
    // A Startup folder whose link path would not fit in MAX_PATH characters.
    const std::wstring deep = files.Path() + L"\\" + std::wstring(245 - files.Path().size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    {
        cleanup_testing::ShellFolderRedirect redirect(L"Startup", deep);
        EXPECT_FALSE(RemoveStartupShortcut());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    }
    // A Startup folder that does not exist: Wine may still name it (the
    // deletion then fails), Windows finds no folder.
    {
        cleanup_testing::ShellFolderRedirect redirect(L"Startup", files / L"missing");
        EXPECT_FALSE(RemoveStartupShortcut());
    }
    LogInitialize(nullptr);

    const std::wstring text = testing_support::ReadUtf16File(log);
    EXPECT_NE(text.find(L" - Cleaning startup shortcut " + deep + L"\\HLX Client.lnk.\r\n"),
              std::wstring::npos)
        << testing_support::ToUtf8(text);
    const size_t first = text.find(L"HLX Client.lnk.\r\n");
    EXPECT_NE(text.find(L"HLX Client.lnk.\r\n", first + 1), std::wstring::npos)
        << testing_support::ToUtf8(text);
}
