#pragma once
// Registry helpers shared by the registration and cleanup code.

#include <windows.h>

// Deletes parent\subKey with every key below it, depth first: each key is opened
// with KEY_READ | KEY_WRITE, its first sub-key (index 0, names up to 255
// characters) deleted until none is left, then the key itself with RegDeleteKeyW.
// Returns ERROR_SUCCESS, or the first failure (ERROR_FILE_NOT_FOUND when subKey
// does not exist); what was deleted before a failure stays deleted.
LSTATUS DeleteRegistryTree(HKEY parent, const wchar_t* subKey);

// Takes one program's marks off the extension key parent\extension: its
// default value and the progId entry among its OpenWithProgids. What other
// programs keep there (their OpenWithProgids, ShellNew, a content type) stays;
// OpenWithProgids, then the extension key, go only when nothing else is left
// in them.
void RemoveExtensionEntries(HKEY parent, const wchar_t* extension, const wchar_t* progId);
