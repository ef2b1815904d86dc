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

LinkContents ReadLink(const std::wstring& linkFile) {
    LinkContents contents;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return contents;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(linkFile.c_str(), STGM_READ))) {
            contents.loaded = true;
            wchar_t text[MAX_PATH * 2] = {};
            if (SUCCEEDED(link->GetPath(text, ARRAYSIZE(text), nullptr, SLGP_RAWPATH))) {
                contents.target = text;
            }
            text[0] = L'\0';
            if (SUCCEEDED(link->GetWorkingDirectory(text, ARRAYSIZE(text)))) {
                contents.workingFolder = text;
            }
            text[0] = L'\0';
            if (SUCCEEDED(link->GetArguments(text, ARRAYSIZE(text)))) contents.arguments = text;
            text[0] = L'\0';
            if (SUCCEEDED(link->GetIconLocation(text, ARRAYSIZE(text), &contents.iconIndex))) {
                contents.icon = text;
            }
        }
        file->Release();
    }
    link->Release();
    return contents;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

namespace {

void ListInto(const std::wstring& root, const std::wstring& relative,
              std::vector<std::wstring>& items) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            items.push_back(relative + name + L"\\");
            ListInto(root, relative + name + L"\\", items);
        } else {
            items.push_back(relative + name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::vector<std::wstring> items;
    std::wstring base = root;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    ListInto(base, L"", items);
    std::sort(items.begin(), items.end());
    return items;
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
