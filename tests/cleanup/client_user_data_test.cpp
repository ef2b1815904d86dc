#include "cleanup/client_user_data.h"

#include <gtest/gtest.h>

#include <string>

#include "cleanup/registry_and_shell_helpers.h"
#include "support/test_support.h"

using namespace cleanup_testing;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

namespace {

const std::wstring kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Lays out a client data folder with the four entries and some of the user's own.
void MakeClientData(const std::wstring& appData) {
    const std::wstring data = appData + L"\\N4Client";
    WriteFileBytes(data + L"\\ico\\a.ico", "icon");
    WriteFileBytes(data + L"\\ico\\sub\\deeper\\b.ico", "icon");
    SetFileAttributesW((data + L"\\ico\\sub\\deeper\\b.ico").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(data + L"\\Fonts\\f.ttf", "font");
    WriteFileBytes(data + L"\\SessionIDs.cache", "ids");
    WriteFileBytes(data + L"\\ClientCache.db", "db");
    WriteFileBytes(data + L"\\mysettings.xml", "<settings/>");
    WriteFileBytes(data + L"\\Logs\\client.log", "log");
}

bool HasClientData(const std::wstring& appData) {
    const std::wstring data = appData + L"\\N4Client";
    return FolderExists(data + L"\\ico") && FolderExists(data + L"\\Fonts") &&
           FileExists(data + L"\\SessionIDs.cache") && FileExists(data + L"\\ClientCache.db");
}

}  // namespace

TEST(ClientUserData, DeletesTheFourEntriesUnderTheRegisteredAppDataOnly) {
    testing_support::RegistrySandbox sandbox;
    TempFolder registered;
    TempFolder environment;
    // The environment names another folder: the registry value decides.
    SetEnvironmentVariableW(L"APPDATA", environment.Path().c_str());
    MakeClientData(registered.Path());
    MakeClientData(environment.Path());
    SetStringValue(sandbox.Key(), kShellFolders, L"AppData", registered.Path());

    CleanClientUserData(sandbox.Key());

    const std::wstring data = registered / L"N4Client";
    EXPECT_FALSE(FolderExists(data + L"\\ico"));
    EXPECT_FALSE(FolderExists(data + L"\\Fonts"));
    EXPECT_FALSE(FileExists(data + L"\\SessionIDs.cache"));
    EXPECT_FALSE(FileExists(data + L"\\ClientCache.db"));
    EXPECT_TRUE(FileExists(data + L"\\mysettings.xml"));
    EXPECT_TRUE(FileExists(data + L"\\Logs\\client.log"));
    EXPECT_TRUE(HasClientData(environment.Path()));

    // Nothing of the four is left: a second run deletes nothing else.
    CleanClientUserData(sandbox.Key());
    EXPECT_TRUE(FileExists(data + L"\\mysettings.xml"));
    EXPECT_TRUE(FolderExists(data));
}

TEST(ClientUserData, UnusableAppDataValuesDeleteNothing) {
    testing_support::RegistrySandbox sandbox;
    const HKEY root = sandbox.Key();
    TempFolder appData;
    MakeClientData(appData.Path());
    // An empty path would make the data folder "\N4Client\" in the drive root.
    MakeClientData(L"C:");
    SetCurrentDirectoryW(L"C:\\");

    CleanClientUserData(root);  // no Shell Folders key
    CreateKey(root, kShellFolders);
    CleanClientUserData(root);  // no AppData value

    SetStringValue(root, kShellFolders, L"AppData", L"");
    CleanClientUserData(root);
    SetRawValue(root, kShellFolders, L"AppData", REG_SZ, L"", 0);
    CleanClientUserData(root);

    // Another type, even when its bytes spell the path.
    const std::wstring path = appData.Path();
    SetRawValue(root, kShellFolders, L"AppData", REG_BINARY, path.c_str(),
                static_cast<DWORD>((path.size() + 1) * 2));
    CleanClientUserData(root);

    // A value too long for the 260-character buffer, whose first part names
    // the real folder.
    const std::wstring tooLong = path + L"\\" + std::wstring(300, L'x');
    SetStringValue(root, kShellFolders, L"AppData", tooLong);
    CleanClientUserData(root);

    // Relative and drive-relative values name folders below the current one.
    MakeClientData(L"C:\\cleanup_relative");
    for (const wchar_t* relative : {L"cleanup_relative", L"C:cleanup_relative", L".\\"}) {
        SetStringValue(root, kShellFolders, L"AppData", relative);
        CleanClientUserData(root);
    }

    EXPECT_TRUE(HasClientData(appData.Path()));
    EXPECT_TRUE(HasClientData(L"C:"));
    EXPECT_TRUE(HasClientData(L"C:\\cleanup_relative"));
    testing_support::RemoveTree(L"C:\\N4Client");
    testing_support::RemoveTree(L"C:\\cleanup_relative");

    // An expandable value is taken literally: %CLEANUP_DATA% is not expanded.
    SetEnvironmentVariableW(L"CLEANUP_DATA", path.c_str());
    const std::wstring unexpanded = L"%CLEANUP_DATA%";
    SetRawValue(root, kShellFolders, L"AppData", REG_EXPAND_SZ, unexpanded.c_str(),
                static_cast<DWORD>((unexpanded.size() + 1) * 2));
    CleanClientUserData(root);
    EXPECT_TRUE(HasClientData(appData.Path()));

    // The same folder as an expandable string without references is used.
    SetRawValue(root, kShellFolders, L"AppData", REG_EXPAND_SZ, path.c_str(),
                static_cast<DWORD>((path.size() + 1) * 2));
    CleanClientUserData(root);
    EXPECT_FALSE(FolderExists(appData / L"N4Client\\ico"));
    EXPECT_FALSE(FileExists(appData / L"N4Client\\ClientCache.db"));
}
