#pragma once
// The names a brand gives, read from its Brand.ini, and the fixed names of a
// brand's files.

#include <cstdint>
#include <string>

inline constexpr wchar_t kBrandingFolderName[] = L"Branding";
inline constexpr wchar_t kBrandIniName[] = L"Brand.ini";
inline constexpr wchar_t kBrandIconName[] = L"Brand.ico";
// The brand's settings file and icon relative to the install folder.
inline constexpr wchar_t kInstalledBrandIni[] = L"Branding\\Brand.ini";
inline constexpr wchar_t kInstalledBrandIcon[] = L"Branding\\Brand.ico";
// The code of the log records about the brand.
inline constexpr uint32_t kBrandLogCode = 20;

inline constexpr wchar_t kDefaultAppTitle[] = L"Quellmoor Client";
inline constexpr wchar_t kDefaultShortcutName[] = L"Quellmoor Client";
inline constexpr wchar_t kDefaultCompanyName[] = L"Quellmoor";

// "app_title" of the BRANDING section: the Programs-menu link's name. Missing
// file or key, and an empty value: "Quellmoor Client" (a link without a name
// would be a bare ".lnk" file, shown with no name at all).
std::wstring ReadAppTitle(const std::wstring& iniPath);

// "shortcut_name": the desktop link's name. Missing file or key, and an empty
// value: "Quellmoor Client".
std::wstring ReadShortcutName(const std::wstring& iniPath);

// "company_name": the publisher folder under the Programs menu. Missing file or
// key: "Quellmoor"; an empty value stays empty (the links then lie in
// "Client" right under the Programs folder).
std::wstring ReadCompanyName(const std::wstring& iniPath);

// Each value is read into 1024 characters (longer ones are cut). A name may be
// nested ("Vendor\Suite", "/" read as "\"): its folders are made below the
// folder it is joined to. A value that would lead out of that folder (an
// absolute name, a drive or stream colon, a "." or ".." piece, an empty piece)
// or that no file name may hold (one of <>"|?* or a control character) is
// replaced by its default.
