#pragma once
// Helpers of the branding tests: the "BrandFileLocation" value kept as it was,
// links read back through the shell, folder listings, and an install folder
// laid out with the stand-in client.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace brand_testing {

inline constexpr wchar_t kSetupKey[] = L"Software\\Quellmoor\\DeskHubClient\\Setup";
inline constexpr wchar_t kBrandFileLocation[] = L"BrandFileLocation";

// Puts "BrandFileLocation" back as it was (or removes it) when the object goes.
// Acts on the real HKEY_CURRENT_USER: suites using it need the prefix_state lock.
class BrandFileLocationSnapshot {
  public:
    BrandFileLocationSnapshot();
    ~BrandFileLocationSnapshot();
    BrandFileLocationSnapshot(const BrandFileLocationSnapshot&) = delete;
    BrandFileLocationSnapshot& operator=(const BrandFileLocationSnapshot&) = delete;

  private:
    bool present_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// Writes the value with raw data (the key is created).
void SetBrandFileLocationRaw(DWORD type, const void* data, DWORD bytes);
// A REG_SZ value with its terminating NUL.
void SetBrandFileLocation(const std::wstring& path);
void DeleteBrandFileLocation();
bool BrandFileLocationExists();

// Links and trees are read with the shared helpers.
using testing_support::LinkContents;
using testing_support::ListTree;
using testing_support::ReadLink;

// Lower-case copy, for comparing paths the way Windows does.
std::wstring Lower(std::wstring text);

// Copies the stand-in client from the test's bin folder into installFolder
// (which ends with a backslash) as DESKHubClient.exe, and with uninstaller
// also as Uninstall.exe.
void LayOutInstallFolder(const std::wstring& installFolder, bool uninstaller);

// A UTF-16 Brand.ini (with byte-order mark) of the BRANDING section.
std::string BrandIni(const std::wstring& appTitle, const std::wstring& shortcutName,
                     const std::wstring& companyName);

}  // namespace brand_testing
