#include "branding/brand_settings.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr wchar_t kBrandSection[] = L"BRANDING";
constexpr DWORD kValueChars = 1024;
// A Brand.ini is a few lines; a larger file is left to the system's reader.
constexpr DWORD kLargestUtf8Ini = 1 << 20;

// Brand.ini's text when the file is UTF-8: it starts with the UTF-8
// byte-order mark, or it has no mark and its bytes beyond ASCII read as
// UTF-8. The system's profile reader takes such a file for ANSI, so names
// beyond ASCII come out garbled, and a leading mark hides the section of the
// first line. Nothing for any other file, which the system reads.
std::optional<std::wstring> Utf8IniText(const std::wstring& iniPath) {
    UniqueFileHandle file(CreateFileW(iniPath.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestUtf8Ini) return {};
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        return {};
    }
    std::string_view text(bytes.data(), bytes.size());
    const bool marked = text.starts_with("\xEF\xBB\xBF");
    if (marked) {
        text.remove_prefix(3);
    } else if (std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return {};
    }
    if (text.empty()) return std::wstring();
    const int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
    if (chars <= 0) return {};
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), chars);
    return wide;
}

std::wstring_view Trimmed(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The key's value in the section of INI text, read as the system reads a
// profile: names without regard to letter case, blanks around names and
// values dropped, one pair of enclosing quotes taken off, the first match
// winning, cut to the buffer of the system's reading. Nothing when missing.
std::optional<std::wstring> FindIniValue(std::wstring_view text, std::wstring_view section,
                                         std::wstring_view key) {
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = std::min(text.find(L'\n'), text.size());
        const std::wstring_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.starts_with(L'[')) {
            const size_t close = line.find(L']');
            if (inSection) return {};
            inSection = close != std::wstring_view::npos &&
                        SameName(Trimmed(line.substr(1, close - 1)), section);
            continue;
        }
        const size_t equals = line.find(L'=');
        if (!inSection || equals == std::wstring_view::npos ||
            !SameName(Trimmed(line.substr(0, equals)), key)) {
            continue;
        }
        std::wstring_view value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::wstring(value.substr(0, kValueChars - 1));
    }
    return {};
}

// A relative name that stays inside the folder it is joined to and can be a
// file name there: not absolute, no drive or stream colon, no "." or ".."
// piece, no empty piece, none of the characters no file name may hold, no
// device name (a link "NUL.lnk" would be written to the device, not made).
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
        if (piece.empty() || piece == L"." || piece == L".." || IsDeviceFileName(piece)) {
            return false;
        }
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

std::wstring ReadSetting(const std::wstring& iniPath, const wchar_t* key, const wchar_t* fallback,
                         bool emptyMeansDefault) {
    std::wstring text;
    if (const std::optional<std::wstring> utf8 = Utf8IniText(iniPath)) {
        text = FindIniValue(*utf8, kBrandSection, key).value_or(fallback);
    } else {
        wchar_t value[kValueChars] = {};
        GetPrivateProfileStringW(kBrandSection, key, fallback, value, kValueChars, iniPath.c_str());
        text = value;
    }
    if ((emptyMeansDefault && text.empty()) || !IsUsableName(text)) return fallback;
    std::replace(text.begin(), text.end(), L'/', L'\\');
    return text;
}

}  // namespace

std::wstring ReadAppTitle(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"app_title", kDefaultAppTitle, true);
}

std::wstring ReadShortcutName(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"shortcut_name", kDefaultShortcutName, true);
}

std::wstring ReadCompanyName(const std::wstring& iniPath) {
    return ReadSetting(iniPath, L"company_name", kDefaultCompanyName, false);
}
