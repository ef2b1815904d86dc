#pragma once
// Gives back file extensions that the client took over for its shortcuts. The
// client points an extension at its own ProgID "KIVShortCut<ext>" and keeps the
// extension's earlier settings in root\Software\Quellmoor\FileExts\<ext>; the
// restore puts those settings back, deletes the ProgID and then the backup.
// Nothing here logs. Extensions are used as registry key names, so an empty
// extension or one holding a backslash is refused with ERROR_INVALID_PARAMETER
// before any key is touched.

#include <windows.h>

// Restores every extension in root\Software\Quellmoor\FileExts, then deletes its
// backup key (only when that has no subkeys; one that cannot be deleted is
// passed over, so the loop ends). The FileExts key itself stays. Returns the
// error of opening the FileExts key (ERROR_FILE_NOT_FOUND when it is missing),
// else ERROR_SUCCESS.
LSTATUS RestoreAllFileAssociations(HKEY root);

// Opens (or creates) the extension's backup key and restores the Classes entry,
// then the Explorer values, whatever the Classes stage gave (a missing client
// ProgID key included). Returns 0, or the error of the first stage that failed.
LSTATUS RestoreFileAssociation(HKEY root, const wchar_t* extension);

// Puts the backup value "KivBackupShortCut" back as the default value of
// root\Software\Classes\<ext> (creating the key); when that value is an empty
// string or missing, deletes root\Software\Classes\<ext> with all its subkeys
// instead. A value that is there but cannot be used (not a string, too long to
// read) leaves root\Software\Classes\<ext> as it is. Then deletes
// root\Software\Classes\KIVShortCut<ext> with its subkeys and returns that
// result: 0, or ERROR_FILE_NOT_FOUND when the ProgID key was not there. Returns
// the error of opening root\Software\Classes when that fails, without changing
// anything.
LSTATUS RestoreClassesAssociation(HKEY root, const wchar_t* extension, HKEY backupKey);

// Restores "Progid" and "Application" of the existing key
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\<ext>
// (always the current user's, whatever root the caller uses) from the backup
// values "KivBackupProgid" and "KivBackupApplication", deleting each backup
// value once restored. A backup value is used only when it is a string of zero
// bytes or of an even number of bytes ending in NUL; an unusable
// "KivBackupProgid" is passed over. Returns the error of opening the Explorer
// key (nothing restored, the key is not created), of a failed set or delete,
// of reading "KivBackupApplication" (ERROR_FILE_NOT_FOUND when it is missing),
// ERROR_INVALID_DATA when that value is unusable, else 0.
LSTATUS RestoreExplorerFileExts(const wchar_t* extension, HKEY backupKey);
