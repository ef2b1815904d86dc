#pragma once
// Deletion of one file or one empty folder that survives the object being in
// use. When the plain deletion fails, three further steps run, each whatever
// the one before gave: the object is renamed onto a fresh "tpd" placeholder in
// the user's temporary folder, opened for deletion on close, and entered for
// deletion at the next restart. Every failed step is logged with the system
// error (flags 1, module 0, code 105). Only the last step decides the result.

// Deletes the file at path. True when it was deleted, did not exist, or its
// deletion at restart was scheduled (or the scheduling found no such file);
// false only when the scheduling failed otherwise. A missing parent folder is
// not "did not exist": the whole chain runs and logs. A path that
// GetFileAttributesW cannot reach as given (one longer than MAX_PATH, say) is
// worked on as "\\?\" + path from the rename on. A null or empty path names
// nothing: true, nothing logged.
bool DeleteFileRobust(const wchar_t* path);

// Removes the folder at path, which the caller has emptied; results as for
// DeleteFileRobust. The folder is always worked on under the path as given.
// A folder that is not empty runs the whole chain.
bool RemoveFolderRobust(const wchar_t* path);
