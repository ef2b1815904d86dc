#pragma once
// The client's entry in the per-user list of installed applications (Settings >
// Apps, "Programs and Features"), the key kUninstallEntryKey below
// HKEY_CURRENT_USER. The install writes it last, the uninstall deletes
// it; an upgrade's uninstall leaves it, so that a failed upgrade still shows
// the installation.

#include <windows.h>

#include <string>

inline constexpr wchar_t kUninstallEntryKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuellmoorClient";

// The file version of the executable's version resource as "a.b.c.d"; empty
// when the file has none or cannot be read.
std::wstring ReadFileVersion(const std::wstring& path);

// Writes the entry for the install folder (no trailing backslash) under root:
// names from the installed brand, icon, version (the client's, else this
// program's own), location, the two uninstall command lines, size and date.
// Logs one line (a failure as a warning) and returns true on success.
bool WriteUninstallEntry(HKEY root, const std::wstring& installFolder);

// Deletes the entry under root. A missing entry counts as deleted and is not
// logged; otherwise logs one line (a failure as a warning). True on success.
bool DeleteUninstallEntry(HKEY root);
