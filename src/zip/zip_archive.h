#pragma once
// Extraction of a whole zip archive into a folder, over minizip. Nothing here
// logs; every failure is a false result to the caller.
//
// Stored entry names are bytes: pieces separated by "/" or "\", each split at
// its last "." into a file-name part and an extension. A file-name part that
// starts with the bytes 0x7F 0x7F holds UTF-8 after them; every other part is
// text in the ANSI code page.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Size of the buffer that receives a stored name, and the longest decoded name
// (terminating zero included).
inline constexpr std::size_t kStoredNameCapacity = 260;
inline constexpr std::size_t kDecodedNameCapacity = 260;

// The entry under the archive's cursor.
struct ZipEntryInfo {
    std::wstring name;          // decoded, backslash separators, no "." or empty pieces
    std::uint32_t dosDateTime;  // MS-DOS date (high 16 bits) and time (low 16 bits)
    bool isFolder;              // the name ends with a backslash, or was "." pieces only
    std::uint64_t uncompressedSize = 0;  // as the central record declares it
    std::uint64_t compressedSize = 0;    // the same
    bool isEncrypted = false;   // the central record's encryption flag is set
    std::string storedName{};   // the name's bytes as the central record holds them
};

class CZipArchive {
  public:
    CZipArchive() = default;
    ~CZipArchive();
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    // Opens the archive at a UTF-16 path; false when the file is missing or is
    // not a zip archive. An archive already open is closed first.
    bool OpenArchive(const std::wstring& archivePath);

    // Closes any entry still open and the archive. Safe to call when closed.
    void CloseArchive();

    bool IsOpen() const { return m_archive != nullptr; }

    // Extracts every entry under destination. True when every entry was
    // handled and the central directory was read to its end; false at the
    // first failure (a damaged record, fewer or more records than the end
    // record counts), with the entries written before it left in place. With
    // junkPaths every file lands directly in destination.
    bool ExtractAll(const std::wstring& destination, bool junkPaths);

    // The bytes that the central directory says the archive's entries hold
    // when extracted, summed (at most UINT64_MAX); nothing when no archive is
    // open or a record cannot be read. Moves the cursor.
    std::optional<std::uint64_t> DeclaredBytes();

    // Extracts the entry under the cursor. Folder entries succeed without
    // creating anything. A file whose data overlaps that of a file extracted
    // before since the last ExtractAll began is damage and is not written. An entry whose name is
    // absolute, carries a drive or stream colon, or has a ".." piece, and an encrypted entry (no
    // password is ever given) are refused and nothing is written; a file whose data fails to read,
    // ends short of its declared size or fails its CRC check is removed, as is one whose local
    // header places its data anywhere but before the central directory. "." pieces of a name are
    // dropped.
    bool ExtractCurrentEntry(const std::wstring& destination, bool junkPaths);

    // Fills info for the entry under the cursor; false when no archive is
    // open, the header cannot be read, or the name is longer than the stored
    // or decoded name limits.
    bool ReadCurrentEntryInfo(ZipEntryInfo& info);

  private:
    // Records where the current entry's data lies; false when it overlaps the
    // data of an entry extracted before in this walk.
    bool ClaimDataRange(std::uint64_t start, std::uint64_t size);
    // Reads a folder entry to its end, writing nothing: a folder has no
    // content, but its headers and data are checked as a file's are, so that
    // an archive damaged there fails all the same.
    bool FolderEntryIsWhole(const ZipEntryInfo& info);
    // True when the open entry's local header holds the name of its central
    // record: the two copies of a sound archive agree.
    bool LocalNameMatches(const ZipEntryInfo& info);

    void* m_archive = nullptr;  // minizip's unzFile
    std::wstring m_path;        // the open archive's path, for reading its end record
    std::FILE* m_raw = nullptr;          // the archive opened again, for reading local names
    std::uint64_t m_directoryStart = 0;  // where the central directory starts; 0: unknown
    // The data of the entries extracted so far, start to end: no two entries
    // of a sound archive share bytes, while a zip bomb's records all point
    // into the same compressed data.
    std::map<std::uint64_t, std::uint64_t> m_dataRanges;
};

// Decodes a stored name into out (capacity characters, zero-filled first):
// directory pieces level by level, backslashes as separators. Returns false
// when the decoded name had to be cut to fit the capacity, or a part of the
// split (folder, file name, extension) was longer than its 255 bytes.
bool DecodeStoredName(std::string_view stored, wchar_t* out, std::size_t capacity);

// True when path exists as a folder on return; missing folders are created
// from the topmost one down. A path without any backslash is not created.
bool EnsureFolderPath(const std::wstring& path);

// EnsureFolderPath on the part of path before its last backslash; false when
// path has no backslash.
bool EnsureParentFolder(const std::wstring& path);

// Sets the creation and last-write times of the open file to the DOS
// date/time, read as local time; the last-access time is left alone. The
// handle needs write access; nothing may be written through it afterwards.
bool SetFileTimesFromDos(HANDLE file, std::uint32_t dosDateTime);
