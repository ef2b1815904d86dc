#pragma once
// The running uninstaller cannot delete its own file: the robust deletion
// moves it aside and asks for its deletion at the next restart, which a
// standard user may not do. Instead a copy of the uninstaller, started from a
// temporary file that goes when the copy ends (opened for deletion on close,
// the handle passed on to the copy), waits for the uninstall to end and then
// deletes the uninstaller's file where it was left: under its own name, or
// moved aside in the temporary folder (as a "tpd*.tmp" file, or inside such a
// folder). The file is recognised by its identity (volume and file index), so
// that no other file of the same name is touched.

#include <string>

#include "win/handles.h"

struct OwnFileRemoval {
    UniqueFileHandle helper;     // the copy, opened for deletion on close
    std::wstring helperPath;
    std::wstring ownPath;        // the running uninstaller's file
    std::wstring tempFolder;     // where the deletion moves files aside
    std::wstring installFolder;  // removed by the helper when it is then empty; empty: kept
    DWORD volume = 0;
    ULONGLONG fileIndex = 0;
    std::wstring movedTo;        // the placeholder the running file was moved to; empty: not moved
};

// Prepares the removal when the running uninstaller lies in installFolder:
// the file's identity and the copy in the temporary folder (in the folder
// above installFolder when the temporary folder cannot take it); then the
// running file is moved out of installFolder to a placeholder of the
// temporary folder, where it can be when the volume allows. Does nothing for
// an uninstaller elsewhere, whose file is not the install's. Nothing is
// logged; a removal that could not be prepared is simply not started.
OwnFileRemoval PrepareOwnFileRemoval(const std::wstring& installFolder);

// Starts the prepared copy, which outlives this process. Logs an error
// (flags 1, module 0, code 105) when it cannot be started.
void StartOwnFileRemoval(OwnFileRemoval& removal);

// In the copy: true when this process was started as the removal helper, after
// it has done its work; the process then ends without doing anything else.
// False in every other process.
bool RunOwnFileRemovalWhenAsked();
