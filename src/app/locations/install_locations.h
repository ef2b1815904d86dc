#pragma once
// Where the system installs and where it installs from. Every result is a new
// string without a trailing backslash; nothing is cached, so each call reads the
// environment or the module path again.

#include <string>

inline constexpr wchar_t kInstallFolderName[] = L"\\QuellmoorClient";
inline constexpr wchar_t kClientDataFolderName[] = L"\\N4Client";

// The long form of the "APPDATA" environment variable, an absolute value in its
// plain full form (backslashes only, no trailing or doubled separator, "." and
// ".." pieces resolved); empty when the variable is unset, names no existing
// folder, or its long form cannot be had.
std::wstring GetRoamingAppDataFolder();

// GetRoamingAppDataFolder() + "\QuellmoorClient" (so "\QuellmoorClient", the
// root of the current drive, without a usable APPDATA).
std::wstring GetInstallFolder();

// GetRoamingAppDataFolder() + "\N4Client": where the client keeps its own data
// and where former versions were installed.
std::wstring GetClientDataFolder();

// The folder of the running executable (the part before the later of the last
// "\" and the last "/"), or empty when the module path has neither.
std::wstring GetInstallerFolder();

// The same rule on a given module path; used by GetInstallerFolder.
std::wstring FolderOfModulePath(const std::wstring& modulePath);

// True when folder is absolute (a drive letter with its backslash, or a network
// path "\\server\...") and names an existing folder: the only kind of roaming
// folder that an install or uninstall may work in. An empty or relative folder
// would make the install folder a folder of the current drive or folder.
bool IsUsableRoamingFolder(const std::wstring& folder);
