#include "branding/brand_settings.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr wchar_t kBrandSection[] = L"BRANDING";
constexpr DWORD kValueChars = 1024;

// A text that names one file or folder inside the folder it is joined to.
bool StaysInItsFolder(const std::wstring& name) {
    if (name.find_first_of(L"\\/:") != std::wstring::npos) return false;
    return name.empty() ||
           !std::all_of(name.begin(), name.end(), [](wchar_t c) { return c == L'.'; });
}

std::wstring ReadSetting(const std::wstring& iniPath, const wchar_t* key, const wchar_t* fallback,
                         bool emptyMeansDefault) {
    wchar_t value[kValueChars] = {};
    GetPrivateProfileStringW(kBrandSection, key, fallback, value, kValueChars, iniPath.c_str());
    std::wstring text(value);
    if ((emptyMeansDefault && text.empty()) || !StaysInItsFolder(text)) return fallback;
    return text;
}

}  // namespace

std::wstring ReadAppTitle(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"app_title", kDefaultAppTitle, false);
}

std::wstring ReadShortcutName(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"shortcut_name", kDefaultShortcutName, true);
}

std::wstring ReadCompanyName(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"company_name", kDefaultCompanyName, false);
}
