#pragma once
// Removal of the shortcut files that the client records in registry lists, and
// of its link in the user's Startup folder. A list key holds one value per
// file, named by the file's full path; REG_DWORD data 1 asks for the file's
// emptied parent folders to go as well. Every enumerate-and-delete loop keeps
// its index after a deletion and advances it after a failed one, so it ends.

#include <windows.h>

// Logs "Cleaning startup shortcut %s.\n" (flags 3, code 18) and
// deletes <Startup folder>\HLX Client.lnk. Returns DeleteFileW's result. When
// the Startup folder cannot be found (the record then names "\HLX Client.lnk")
// or the link's path would not fit in MAX_PATH characters, the record is
// written all the same and FALSE is returned without any deletion.
BOOL RemoveStartupShortcut();

// Logs "Cleaning old shortcuts: %s.\n" with the list key path, then, when
// root\listKeyPath opens, deletes each listed file (with its emptied parents
// for data 1; data of another type or size counts as 0) and its value, whether
// or not the file could be deleted. A missing key only leaves the log line; a
// null or empty path (which would name root itself) is refused after the log.
// A value name longer than 259 characters ends the walk of that list.
void CleanShortcutList(HKEY root, const wchar_t* listKeyPath);

// Logs "Cleaning all old shortcuts: %s.\n" with Software\Quellmoor\Shortcuts,
// cleans every subkey of root\Software\Quellmoor\Shortcuts as a list and
// deletes it; a subkey with subkeys of its own stays and is passed over. The
// Shortcuts key itself stays. A missing key only leaves the log line.
void CleanAllShortcutLists(HKEY root);

// Deletes the file, then removes its parent folders from the innermost up for
// as long as they can be removed (empty, not in use). "/" counts as "\" in the
// walk. The walk never reaches beyond a bare drive ("C:" names the drive's
// current folder, not its root); a path without separator only deletes the file.
// It stops before any of the user's shell folders or a folder above one
// (Desktop, Startup, Programs, Start Menu, the profile, ...: see
// UserShellFolders) and before a folder that is a link.
void DeleteFileAndEmptyParents(const wchar_t* path);
