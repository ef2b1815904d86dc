#pragma once
// Absolute paths without a fixed-length buffer, and folder comparison.

#include <string>
#include <string_view>
#include <vector>

// The absolute form of path as GetFullPathNameW gives it, in a buffer as long as
// the answer needs; empty when the system cannot form it (or path is empty).
std::wstring FullPathName(const std::wstring& path);

// True when path is absolute by its form: a drive letter with its separator
// ("C:\", "C:/") or a network or device path ("\\server\...", "\\?\..."). A
// relative path, a bare drive ("C:") or a drive-relative one ("C:dir") names
// a place that depends on the current folder.
bool IsAbsolutePath(const std::wstring& path);

// True when a path piece is a device name of the system ("CON", "nul.txt",
// "COM1 .log", ...): plain path calls open the device, whatever extension
// follows the name and however many blanks end it.
bool IsDeviceFileName(std::wstring_view piece);

// A folder's absolute form without asking the file system: a device prefix
// before a drive or share ("\\?\", "\\.\", "\??\", also with "UNC\") taken
// off, backslashes only, no trailing separator except
// after a drive root ("C:\"). A bare drive "X:" is read as its root "X:\",
// never as the drive's current folder. Empty when the path is empty or cannot
// be formed.
std::wstring PlainFullPath(const std::wstring& folder);

// A folder in the form that comparisons need: its PlainFullPath with long
// names where the folder exists (short 8.3 aliases resolved).
std::wstring ComparableFolderPath(const std::wstring& folder);

// The folder as the system finds it, every folder link on its way followed,
// in comparable form; empty when the folder cannot be opened.
std::wstring ResolvedFolderPath(const std::wstring& folder);

// A plain full path cut into its root ("C:\" or "\\server\share") and the
// pieces below it; empty for a path with neither root. Long names are got
// piece by piece, so the first n pieces of a path's comparable form are the
// comparable form of its first n pieces.
std::vector<std::wstring> FolderPathPieces(const std::wstring& plain);
// The root and the first count pieces joined again; empty when there are
// fewer pieces.
std::wstring JoinFolderPathPieces(const std::vector<std::wstring>& pieces, size_t count);

// True when inner is outer or lies below it, both compared in their
// comparable forms without regard to letter case. False when either is empty.
bool IsSameOrInsideFolder(const std::wstring& inner, const std::wstring& outer);
// The same for two paths already in their comparable forms, without asking
// the file system again (for one folder held against many).
bool IsSameOrInsideComparable(const std::wstring& in, const std::wstring& out);

// True when both name the same folder (comparable forms, letter case ignored).
bool IsSameFolder(const std::wstring& a, const std::wstring& b);
// The same for two paths already in their comparable forms.
bool IsSameFolderComparable(const std::wstring& a, const std::wstring& b);

// The path's full form behind "\\?\" (UNC paths as "\\?\UNC\server\share\...");
// a path already in that form is kept. The full path is taken first because
// the prefix turns off the system's own clean-up of "/" and "." pieces.
std::wstring LongPathForm(const std::wstring& path);

// The "\\?\" form of an absolute path taken exactly as it is spelled, without
// the system's clean-up, for names that only that form reaches (a piece
// ending in a dot or a blank, as a listing gives it): doubled separators
// become one. Empty when the path is relative, uses "/", or holds "." or ".."
// pieces, which only the clean-up would resolve.
std::wstring ExactLongPathForm(const std::wstring& path);

// True when a piece of the path ends in a dot or a blank ("name.", "name "):
// plain path calls drop those characters and so name another file, or none.
bool HasPieceThatOnlyTheLongFormReaches(const std::wstring& path);

// The path in a form the file calls accept whatever its length: as given when
// it is shorter than 248 characters (the folder-creation limit), else its
// LongPathForm.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The path in the form that reaches what it names, for names as a listing
// gives them: its ExactLongPathForm when a piece ends in a dot or a blank
// (and that form exists), else its ExtendedLengthPath.
std::wstring ReachablePath(const std::wstring& path);

// True when a file or folder exists at path, asked through its
// ExtendedLengthPath: Windows' plain calls stop at MAX_PATH and would report
// a deep file (under a deep %APPDATA%, say) as missing.
bool PathExists(const std::wstring& path);

// The root of the volume that holds path, with a trailing backslash ("C:\", a
// share "\\server\share\", or a folder where another volume is mounted), as
// GetVolumePathNameW gives it; empty when it cannot be had.
std::wstring VolumeRootOf(const std::wstring& path);

// True when folder is the root of a volume: a drive root (a bare "X:" counts
// as "X:\"), a network share, or a folder where another volume is mounted.
bool IsVolumeRoot(const std::wstring& folder);

// True when both paths lie on one volume, so that a file moves from one to the
// other without being copied. False when either volume cannot be told.
bool IsOnSameVolume(const std::wstring& a, const std::wstring& b);
