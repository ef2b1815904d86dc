#pragma once
// Whole-folder operations on Windows paths (backslash separators). None of them
// logs; only the robust deletion that DeleteFolderTree uses does. Each returns
// false at the first failure and leaves in place what it had already done.
//
// Listings examine every entry the system returns except "." and "..", in the
// system's order; a listing that ends with an error other than
// ERROR_NO_MORE_FILES counts as a failure.

#include <functional>
#include <string>
#include <vector>

// The paths (folder + "\\" + name) of the files directly in folder: neither
// sub-folders nor links. Empty when folder cannot be listed.
std::vector<std::wstring> ListFolderFiles(const std::wstring& folder);

// Moves every entry of source (files and whole sub-folders, no recursion) into
// destination with MOVEFILE_REPLACE_EXISTING: a file of the same name there is
// replaced, a sub-folder of the same name is not and fails, and so does a
// destination on another volume. True when every entry was moved or there was
// nothing to do (null or empty source, empty destination); false when the
// source cannot be listed or at the first entry that cannot be moved.
bool MoveFolderContents(const wchar_t* source, const wchar_t* destination);

// Creates every folder of path up to its last backslash, from the first one
// after the root (drive or share) on; the text after the last backslash is
// never created, so "D:\X\Y\" creates Y and "D:\X\Y" does not. Existing
// folders count as created. True for a null or empty path or a root alone;
// false at the first folder that cannot be created.
bool CreatePathFolders(const wchar_t* path);

// Copies the tree at source into destination, which must not exist yet (only
// its last level is created). Files are copied without overwriting; links
// (junctions, symbolic links) below source are left out, not followed. True when
// the whole tree was copied or there was nothing to do (null or empty
// argument); false when the source cannot be listed, the destination exists
// or cannot be created, the destination is the source or lies inside it, or
// at the first entry that cannot be copied (what was copied stays).
bool CopyFolderTree(const wchar_t* source, const wchar_t* destination);

// Deletes, in folder and below it, the files that isOwn answers true for
// (given each file's path; read-only ones after clearing that attribute),
// then every folder left empty, folder itself included: what is not the
// caller's stays, and so do the folders that hold it. Links (junctions,
// symbolic links) are never entered or removed. True when folder is gone
// afterwards; false when it stays, cannot be listed (missing included) or is
// itself a link. Nothing is logged.
bool PruneFolderTree(const wchar_t* folder, const std::function<bool(const std::wstring&)>& isOwn);

// Deletes the tree at folder: files with DeleteFileRobust (read-only ones
// after clearing that attribute; their results are not looked at), sub-folders
// depth first, then the folder itself. Links (junctions, symbolic links) are
// never entered: RemoveLinkRobust removes the link and leaves its target; a
// folder that is itself a link gives RemoveLinkRobust's result. Returns RemoveFolderRobust(folder) after
// the contents were handled; false, with the folder left, when it cannot be
// listed (a missing folder included), its listing fails or a sub-folder's tree
// fails. A null or empty folder: true, nothing done.
bool DeleteFolderTree(const wchar_t* folder);
