#include <gtest/gtest.h>

#include <algorithm>

#include "app/locations/install_locations.h"
#include "integration/shell_folders.h"
#include "win/full_path.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Sets an environment variable (APPDATA unless told) for this process for the
// lifetime of the object.
class VariableOverride {
  public:
    explicit VariableOverride(const wchar_t* value, const wchar_t* name = L"APPDATA") : name_(name) {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name_, old, ARRAYSIZE(old));
        if (length > 0 && length < ARRAYSIZE(old)) saved_ = old;
        SetEnvironmentVariableW(name_, value);
    }
    ~VariableOverride() { SetEnvironmentVariableW(name_, saved_ ? saved_->c_str() : nullptr); }

  private:
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
};

std::wstring GetEnvironmentString(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return length > 0 && length < ARRAYSIZE(value) ? std::wstring(value, length) : std::wstring();
}

std::wstring ShortForm(const std::wstring& path) {
    wchar_t shortForm[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(path.c_str(), shortForm, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortForm, length) : path;
}

}  // namespace

TEST(InstallLocations, FollowTheAppDataVariable) {
    TempFolder folder;
    const std::wstring roaming = folder / L"Roaming Profile Folder";
    CreateDirectoryW(roaming.c_str(), nullptr);
    VariableOverride appData(roaming.c_str());
    EXPECT_EQ(GetRoamingAppDataFolder(), roaming);
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
    EXPECT_EQ(GetClientDataFolder(), roaming + L"\\N4Client");
    // Each call gives a string of its own.
    std::wstring first = GetInstallFolder();
    first += L"changed";
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");

    // Other spellings of the same folder give the same paths.
    std::wstring slashes = roaming;
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    const std::wstring parent = folder.Path();
    for (const std::wstring& spelling :
         {roaming + L"\\", roaming + L"\\\\", slashes + L"/", L"\\\\?\\" + roaming,
          parent + L"\\.\\x\\..\\Roaming Profile Folder"}) {
        SCOPED_TRACE(ToUtf8(spelling));
        VariableOverride spelled(spelling.c_str());
        EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
    }
}

TEST(InstallLocations, ShortAppDataGivesTheLongForm) {
    TempFolder folder;
    const std::wstring roaming = folder / L"A Long Roaming Folder Name";
    CreateDirectoryW(roaming.c_str(), nullptr);
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(roaming.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortForm), roaming) << "no 8.3 name on this file system";
    VariableOverride appData(shortForm);
    EXPECT_EQ(GetRoamingAppDataFolder(), roaming);
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
}

TEST(InstallLocations, UnusableAppDataGivesTheDriveRoot) {
    TempFolder folder;
    {
        VariableOverride appData(nullptr);
        EXPECT_EQ(GetRoamingAppDataFolder(), L"");
        EXPECT_EQ(GetInstallFolder(), L"\\QuellmoorClient");
        EXPECT_EQ(GetClientDataFolder(), L"\\N4Client");
    }
    {
        const std::wstring missing = folder / L"does not exist";
        VariableOverride appData(missing.c_str());
        EXPECT_EQ(GetInstallFolder(), L"\\QuellmoorClient");
    }
    {
        // Longer than the 260 characters the variable is read into.
        const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x');
        VariableOverride appData(tooLong.c_str());
        EXPECT_EQ(GetRoamingAppDataFolder(), L"");
    }
}

TEST(InstallLocations, InstallerFolderIsTheModuleFolder) {
    EXPECT_EQ(GetInstallerFolder(), BinFolder());
    EXPECT_EQ(FolderOfModulePath(L"D:\\Downloads\\Setup\\Uninstall.exe"), L"D:\\Downloads\\Setup");
    // The later separator wins.
    EXPECT_EQ(FolderOfModulePath(L"D:\\a/b/Uninstall.exe"), L"D:\\a/b");
    EXPECT_EQ(FolderOfModulePath(L"D:/a\\b\\Uninstall.exe"), L"D:/a\\b");
    EXPECT_EQ(FolderOfModulePath(L"Uninstall.exe"), L"");
    const std::wstring deep = L"\\\\?\\C:\\" + std::wstring(400, L'd') + L"\\Uninstall.exe";
    EXPECT_EQ(FolderOfModulePath(deep), L"\\\\?\\C:\\" + std::wstring(400, L'd'));
}

// A folder is one folder whatever form its name takes: 8.3 aliases, a "\\?\"
// prefix, forward slashes and a trailing separator. The shell-folder check
// holds for a shell folder named by its alias, and for a folder holding a
// shell folder that the environment names by its alias.
TEST(InstallLocations, ShellFoldersAreKnownByEveryNameTheyGo) {
    TempFolder folder;
    const std::wstring parent = folder / L"A Long Parent Folder Name";
    const std::wstring temp = parent + L"\\A Long Temporary Folder";
    const std::wstring sibling = folder / L"A Long Sibling Folder Name";
    for (const std::wstring& path : {parent, temp, sibling}) CreateDirectoryW(path.c_str(), nullptr);
    const std::wstring shortParent = ShortForm(parent);
    ASSERT_NE(shortParent, parent) << "no 8.3 name on this file system";

    EXPECT_TRUE(IsSameFolder(shortParent, parent));
    EXPECT_TRUE(IsSameFolder(L"\\\\?\\" + parent, parent));
    EXPECT_TRUE(IsSameFolder(L"\\\\?\\UNC\\server\\share\\x", L"\\\\server\\share\\x\\"));
    // The device namespace's other names for the same folder.
    EXPECT_TRUE(IsSameFolder(L"\\\\.\\" + parent, parent));
    EXPECT_TRUE(IsSameFolder(L"\\??\\" + parent, parent));
    EXPECT_TRUE(IsSameFolder(L"\\\\.\\unc\\server\\share\\x", L"\\\\server\\share\\x"));
    std::wstring slashed = parent + L"/";
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    EXPECT_TRUE(IsSameFolder(slashed, parent));
    EXPECT_TRUE(IsSameFolder(L"//?/" + slashed, parent));
    EXPECT_TRUE(IsSameOrInsideFolder(ShortForm(temp), L"\\\\?\\" + parent));
    EXPECT_FALSE(IsSameOrInsideFolder(sibling, parent));

    VariableOverride shortTemp(ShortForm(temp).c_str(), L"TEMP");
    EXPECT_TRUE(IsShellFolderOrAncestor(parent));
    EXPECT_TRUE(IsShellFolderOrAncestor(shortParent));
    EXPECT_TRUE(IsShellFolderOrAncestor(temp));
    EXPECT_TRUE(IsShellFolderOrAncestor(folder.Path()));
    EXPECT_FALSE(IsShellFolderOrAncestor(sibling));
    EXPECT_FALSE(IsShellFolderOrAncestor(temp + L"\\below"));
    // Shell folders of the system, by alias and behind the prefix.
    const std::wstring programFiles = GetEnvironmentString(L"ProgramFiles");
    ASSERT_FALSE(programFiles.empty());
    EXPECT_TRUE(IsShellFolderOrAncestor(ShortForm(programFiles)));
    EXPECT_TRUE(IsShellFolderOrAncestor(L"\\\\?\\" + programFiles));
    EXPECT_TRUE(IsShellFolderOrAncestor(L"\\\\.\\" + programFiles));
    EXPECT_FALSE(IsShellFolderOrAncestor(programFiles + L"\\Some Vendor"));
}

TEST(InstallLocations, PathsNearMaxPathAreHandedOverInTheirLongForm) {
    // From 248 characters on, where Windows stops creating folders by a plain
    // path; a "\\.\" path takes the "\\?\" form, a share the "\\?\UNC\" one.
    const std::wstring plain = L"C:\\" + std::wstring(244, L'a');
    EXPECT_EQ(ExtendedLengthPath(plain), plain);
    EXPECT_EQ(ExtendedLengthPath(plain + L"b"), L"\\\\?\\" + plain + L"b");
    EXPECT_EQ(ExtendedLengthPath(L"\\\\.\\" + plain + L"b"), L"\\\\?\\" + plain + L"b");
    const std::wstring share = L"\\\\server\\share\\" + std::wstring(240, L'c');
    EXPECT_EQ(ExtendedLengthPath(share), L"\\\\?\\UNC\\" + share.substr(2));

    // Listed names ending in a dot or a blank: spelled exactly, behind "\\?\".
    EXPECT_TRUE(HasPieceThatOnlyTheLongFormReaches(L"C:\\a\\dir.\\x"));
    EXPECT_TRUE(HasPieceThatOnlyTheLongFormReaches(L"C:\\a\\x "));
    EXPECT_FALSE(HasPieceThatOnlyTheLongFormReaches(L"C:\\a\\..\\.\\x.txt"));
    EXPECT_EQ(ExactLongPathForm(L"C:\\a\\\\dir.\\x "), L"\\\\?\\C:\\a\\dir.\\x ");
    EXPECT_EQ(ExactLongPathForm(L"\\\\srv\\share\\x."), L"\\\\?\\UNC\\srv\\share\\x.");
    for (const wchar_t* unclear :
         {L"a\\x.", L"C:x.", L"C:\\a\\..\\x.", L"C:\\a\\.\\x.", L"C:/a/x.", L"\\\\.\\C:\\x."}) {
        EXPECT_EQ(ExactLongPathForm(unclear), L"") << testing_support::ToUtf8(unclear);
    }
}
