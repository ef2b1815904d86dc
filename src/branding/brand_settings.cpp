#include "branding/brand_settings.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace {

constexpr wchar_t kBrandSection[] = L"BRANDING";
constexpr DWORD kValueChars = 1024;

// A relative name that stays inside the folder it is joined to and can be a
// file name there: not absolute, no drive or stream colon, no "." or ".."
// piece, no empty piece, none of the characters no file name may hold.
// Nested names ("Vendor\\Suite") are kept.
bool IsUsableName(const std::wstring& name) {
    if (name.empty()) return true;
    if (name.find_first_of(L":<>\"|?*") != std::wstring::npos) return false;
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < L' '; })) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of(L"\\/", start);
        const std::wstring_view piece(name.data() + start,
                                      (end == std::wstring::npos ? name.size() : end) - start);
        if (piece.empty() || piece == L"." || piece == L"..") return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

std::wstring ReadSetting(const std::wstring& iniPath, const wchar_t* key, const wchar_t* fallback,
                         bool emptyMeansDefault) {
    wchar_t value[kValueChars] = {};
    GetPrivateProfileStringW(kBrandSection, key, fallback, value, kValueChars, iniPath.c_str());
    std::wstring text(value);
    if ((emptyMeansDefault && text.empty()) || !IsUsableName(text)) return fallback;
    std::replace(text.begin(), text.end(), L'/', L'\\');
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
