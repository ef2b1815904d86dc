#pragma once
// Deletion of one file or one empty folder that survives the object being in
// use. When the plain deletion fails, three further steps run, each whatever
// the one before gave: the object is renamed onto a fresh "tpd" placeholder in
// the user's temporary folder, opened for deletion on close, and entered for
// deletion at the next restart. Every failed step is logged with the system
// error (flags 1, module 0, code 105). Only the last step decides the result.
// A placeholder that the object could not be renamed onto is removed again.

// Deletes the file at path. True when it was deleted, did not exist, or its
// deletion at restart was scheduled (or the scheduling found no such file);
// false only when the scheduling failed otherwise. A file whose folder is
// missing did not exist either: nothing is logged and no placeholder made
// (checked through the long form, so an unreachable long path still runs the
// chain). A path that
// GetFileAttributesW cannot reach as given (one longer than MAX_PATH, say) is
// worked on as "\\?\" + path from the rename on. A null or empty path names
// nothing: true, nothing logged. A folder at path is not the file: it is left
// as it is, with a warning (flags 2, module 0, code 105), and the result is
// false.
bool DeleteFileRobust(const wchar_t* path);

// Removes the folder at path, which the caller has emptied; results as for
// DeleteFileRobust. The folder is always worked on under the path as given.
// A folder that is not empty runs the whole chain. Its rename onto the
// placeholder first removes the empty placeholder file, as a folder cannot
// replace a file.
bool RemoveFolderRobust(const wchar_t* path);

// Removes the link (junction or symbolic link, to a folder or a file) at path
// itself, through a handle of the link's own, and never touches what it points
// at. Where the system can open only the link's target (Wine's links to the
// Linux side), nothing is done: a deletion or a rename would reach the target.
// True when the link is gone (or was not there); false, with the failure
// logged (flags 1, module 0, code 105), when it stays. A null or empty path:
// true, nothing logged.
bool RemoveLinkRobust(const wchar_t* path);
