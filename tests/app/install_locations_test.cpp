#include <gtest/gtest.h>

#include "app/locations/install_locations.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Sets APPDATA for this process for the lifetime of the object.
class AppDataOverride {
  public:
    explicit AppDataOverride(const wchar_t* value) {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", old, ARRAYSIZE(old));
        if (length > 0 && length < ARRAYSIZE(old)) saved_ = old;
        SetEnvironmentVariableW(L"APPDATA", value);
    }
    ~AppDataOverride() { SetEnvironmentVariableW(L"APPDATA", saved_ ? saved_->c_str() : nullptr); }

  private:
    std::optional<std::wstring> saved_;
};

}  // namespace

TEST(InstallLocations, FollowTheAppDataVariable) {
    TempFolder folder;
    const std::wstring roaming = folder / L"Roaming Profile Folder";
    CreateDirectoryW(roaming.c_str(), nullptr);
    AppDataOverride appData(roaming.c_str());
    EXPECT_EQ(GetRoamingAppDataFolder(), roaming);
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
    EXPECT_EQ(GetClientDataFolder(), roaming + L"\\N4Client");
    // Each call gives a string of its own.
    std::wstring first = GetInstallFolder();
    first += L"changed";
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
}

TEST(InstallLocations, ShortAppDataGivesTheLongForm) {
    TempFolder folder;
    const std::wstring roaming = folder / L"A Long Roaming Folder Name";
    CreateDirectoryW(roaming.c_str(), nullptr);
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(roaming.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortForm), roaming) << "no 8.3 name on this file system";
    AppDataOverride appData(shortForm);
    EXPECT_EQ(GetRoamingAppDataFolder(), roaming);
    EXPECT_EQ(GetInstallFolder(), roaming + L"\\QuellmoorClient");
}

TEST(InstallLocations, UnusableAppDataGivesTheDriveRoot) {
    TempFolder folder;
    {
        AppDataOverride appData(nullptr);
        EXPECT_EQ(GetRoamingAppDataFolder(), L"");
        EXPECT_EQ(GetInstallFolder(), L"\\QuellmoorClient");
        EXPECT_EQ(GetClientDataFolder(), L"\\N4Client");
    }
    {
        const std::wstring missing = folder / L"does not exist";
        AppDataOverride appData(missing.c_str());
        EXPECT_EQ(GetInstallFolder(), L"\\QuellmoorClient");
    }
    {
        // Longer than the 260 characters the variable is read into.
        const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x');
        AppDataOverride appData(tooLong.c_str());
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
