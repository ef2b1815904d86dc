#include "branding/brand_test_helpers.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>

#include "support/test_support.h"

namespace brand_testing {

BrandFileLocationSnapshot::BrandFileLocationSnapshot() {
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kSetupKey, kBrandFileLocation, RRF_RT_ANY | RRF_NOEXPAND,
                     &type_, nullptr, &bytes) != ERROR_SUCCESS) {
        return;
    }
    data_.resize(bytes);
    present_ =
        RegGetValueW(HKEY_CURRENT_USER, kSetupKey, kBrandFileLocation, RRF_RT_ANY | RRF_NOEXPAND,
                     &type_, data_.data(), &bytes) == ERROR_SUCCESS;
    data_.resize(bytes);
}

BrandFileLocationSnapshot::~BrandFileLocationSnapshot() {
    if (present_) {
        SetBrandFileLocationRaw(type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
        DeleteBrandFileLocation();
    }
}

void SetBrandFileLocationRaw(DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSetupKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, kBrandFileLocation, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
}

void SetBrandFileLocation(const std::wstring& path) {
    SetBrandFileLocationRaw(REG_SZ, path.c_str(),
                            static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

void DeleteBrandFileLocation() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSetupKey, kBrandFileLocation);
}

bool BrandFileLocationExists() {
    return RegGetValueW(HKEY_CURRENT_USER, kSetupKey, kBrandFileLocation, RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

void LayOutInstallFolder(const std::wstring& installFolder, bool uninstaller) {
    SHCreateDirectoryExW(nullptr, installFolder.substr(0, installFolder.size() - 1).c_str(),
                         nullptr);
    const std::wstring client = testing_support::BinFolder() + L"\\DESKHubClient.exe";
    CopyFileW(client.c_str(), (installFolder + L"DESKHubClient.exe").c_str(), FALSE);
    if (uninstaller) {
        CopyFileW(client.c_str(), (installFolder + L"Uninstall.exe").c_str(), FALSE);
    }
}

std::string BrandIni(const std::wstring& appTitle, const std::wstring& shortcutName,
                     const std::wstring& companyName) {
    const std::wstring text = L"\xFEFF[BRANDING]\r\napp_title=" + appTitle + L"\r\nshortcut_name=" +
                              shortcutName + L"\r\ncompany_name=" + companyName + L"\r\n";
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

}  // namespace brand_testing
