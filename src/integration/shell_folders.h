#pragma once
// The folders that belong to the user and the system rather than to any
// program: no removal or move of the installer may take one of them away.

#include <string>
#include <vector>

// The user's and the machine's shell folders as the shell and the process
// environment report them: the profile and the profiles folder, roaming and
// local application data, desktop, documents, downloads, pictures, music,
// videos, favorites, links, saved games, contacts, searches, 3D objects,
// OneDrive, camera roll, screenshots, templates, SendTo, recent items, Start
// menu, Programs, Startup (with their common variants), the user's own
// programs folder, the temporary folder, Windows, System, Fonts, Program Files
// (with Common Files) and ProgramData. Plain full paths
// (PlainFullPath: short names not yet resolved), each once; a folder that
// cannot be had is left out, so the list may be short but never holds an
// empty entry. Without withTemporaryFolder the temporary folder (TEMP, TMP and
// GetTempPathW) is left out, for judging whether that folder is one of the
// others.
std::vector<std::wstring> UserShellFolders(bool withTemporaryFolder = true);

// True when folder is one of UserShellFolders() or holds one of them below it
// (a drive root, the profile's parent, ...). Paths are compared in full form
// without regard to letter case or a trailing separator. An empty folder
// counts as holding one: nothing may be done to it.
bool IsShellFolderOrAncestor(const std::wstring& folder);
// The same against a list taken once from UserShellFolders().
bool IsShellFolderOrAncestor(const std::wstring& folder,
                             const std::vector<std::wstring>& shellFolders);
