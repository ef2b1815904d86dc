#pragma once
// The release manifest: a list, beside Uninstall.exe in the release folder, of
// every file of the release with its size and SHA-256. The release package
// writes it. With a manifest the install first checks that every listed file
// is there with its listed size (an interrupted earlier install or a partly
// unpacked archive fails that check, before anything is changed), and then
// moves only what belongs to the release, the manifest last, so that a release
// folder that still holds the manifest is always checked again.
//
// Format: UTF-8 text (a byte-order mark is allowed), one file per line,
// "<SHA-256 in 64 hex digits> <size in bytes> <path>", the path relative to
// the release folder with "\" between its parts; lines that are empty or start
// with "#" are comments. Line ends LF or CR LF.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr wchar_t kReleaseManifestName[] = L"Uninstall.release-manifest.txt";

struct ReleaseFile {
    std::wstring path;  // relative to the release folder
    uint64_t size = 0;
};

// Parses a manifest's bytes. False, with problem set to what is wrong (and the
// line), when a line is malformed, a path could lead out of the folder, names
// the manifest itself or is listed twice, or no file is listed.
bool ParseReleaseManifest(const std::string& bytes, std::vector<ReleaseFile>& files,
                          std::wstring& problem);

// True when the release folder holds a manifest.
bool HasReleaseManifest(const std::wstring& releaseFolder);

// True when the folder holds no manifest, or holds a usable one whose every
// file is present with its listed size (one information line). Otherwise logs
// one error line naming the manifest and the missing or differing file and
// returns false.
bool CheckReleaseFolder(const std::wstring& releaseFolder);

// Moves the release's files from the release folder into the install folder,
// replacing files of the same name, in this order: the "Branding" folder as a
// whole (the install may have replaced it with the installed brand) and the
// user's "mysettings.xml" that the install placed there, every listed file
// (creating its folders) with "Uninstall.exe" the last of them, and last the
// manifest. So a move cut short leaves the settings in the install folder and
// the installer with the manifest in the release folder. What else the folder
// holds stays. False at the first entry that cannot be moved, or when the
// manifest cannot be read.
bool MoveListedReleaseFiles(const std::wstring& releaseFolder, const std::wstring& installFolder);

// True when every file the install will move can be renamed now: the listed
// files with a manifest, else the release folder's own files. One that
// another program holds open without sharing its deletion (a document open in
// a viewer, say) would fail its move half-way, after the old installation is
// gone; it is told (one error line) and false is returned, before anything
// changes.
bool ReleaseFilesAreFreeToMove(const std::wstring& releaseFolder);
