#include "zip/zip_archive.h"

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include <unzip.h>

#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr std::size_t kCopyChunk = 2048;
constexpr std::size_t kWriteBuffer = 64 * 1024;
constexpr std::size_t kSplitPartLimit = 255;  // bytes per part, as _splitpath keeps them

unzFile Handle(void* archive) {
    return static_cast<unzFile>(archive);
}

// minizip's stdio table with an open function that takes the UTF-16 path.
voidpf ZCALLBACK OpenWidePath(voidpf, const void* filename, int mode) {
    if (filename == nullptr) return nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return _wfopen(static_cast<const wchar_t*>(filename), L"rb");
}

// Appends bytes converted from codePage to out, within capacity - 1 characters.
// Returns false when the text did not fit.
bool AppendConverted(UINT codePage, std::string_view bytes, wchar_t* out, std::size_t capacity) {
    if (bytes.empty()) return true;
    const std::size_t used = std::wcslen(out);
    const std::size_t room = capacity - 1 - used;
    const int needed =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (needed <= 0) return false;
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        needed);
    const std::size_t kept = text.size() < room ? text.size() : room;
    std::wmemcpy(out + used, text.data(), kept);
    out[used + kept] = L'\0';
    return kept == text.size();
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool StartsWithUtf8Marker(std::string_view bytes) {
    return bytes.size() >= 2 && bytes[0] == '\x7F' && bytes[1] == '\x7F';
}

// Bit 11 of an entry's flags: its name is UTF-8, as 7-Zip, bsdtar, Python's
// zipfile and .NET write names beyond ASCII.
constexpr unsigned long kUtf8NameFlag = 0x800;

// A name flagged as UTF-8: decoded as UTF-8 piece by piece (no separator byte
// occurs inside a UTF-8 sequence), a drive prefix dropped and a piece's marker
// taken as in other names. Bytes that are no UTF-8 fail, like a name that does
// not fit.
bool DecodeUtf8StoredName(std::string_view stored, wchar_t* out, std::size_t capacity) {
    std::wmemset(out, L'\0', capacity);
    if (stored.size() >= 2 && stored[1] == ':') stored.remove_prefix(2);
    std::wstring decoded;
    for (std::size_t start = 0;;) {
        const std::size_t end = stored.find_first_of("/\\", start);
        std::string_view piece = stored.substr(start, end - start);  // to the end at npos
        if (StartsWithUtf8Marker(piece)) piece.remove_prefix(2);
        if (!piece.empty()) {
            const int size = static_cast<int>(piece.size());
            const int needed =
                MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, piece.data(), size, nullptr, 0);
            if (needed <= 0) return false;
            const std::size_t at = decoded.size();
            decoded.resize(at + static_cast<std::size_t>(needed));
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, piece.data(), size,
                                decoded.data() + at, needed);
        }
        if (end == std::string_view::npos) break;
        decoded.push_back(L'\\');
        start = end + 1;
    }
    if (decoded.size() >= capacity) return false;
    std::wmemcpy(out, decoded.data(), decoded.size());
    return true;
}

// The offset of the last separator of stored, or npos. The bytes are walked
// by characters of the ANSI code page, as _splitpath walks them: in the
// double-byte code pages (932, 936, 949, 950) the trail byte of a character
// may be 0x5C and is then no separator. A piece behind the UTF-8 marker is
// walked byte by byte: no UTF-8 sequence holds a separator byte, while its
// bytes read as ANSI could pair a last byte with the separator after it.
std::size_t LastSeparator(std::string_view stored) {
    std::size_t last = std::string_view::npos;
    bool utf8Piece = StartsWithUtf8Marker(stored);
    for (std::size_t i = 0; i < stored.size();) {
        if (IsSeparator(stored[i])) {
            last = i++;
            utf8Piece = StartsWithUtf8Marker(stored.substr(i));
            continue;
        }
        const bool pair = !utf8Piece && i + 1 < stored.size() &&
                          IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(stored[i]));
        i += pair ? 2 : 1;
    }
    return last;
}

// The decoded name may only name something inside the destination: no leading
// separator, no drive or stream colon, no ".." piece.
bool StaysInsideDestination(const std::wstring& name) {
    if (name.empty() || name.front() == L'\\') return false;
    if (name.find(L':') != std::wstring::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        if (name.compare(start, end - start, L"..") == 0) return false;
        start = end + 1;
    }
    return true;
}

// True when every piece of the decoded name is a file name the system keeps
// as it is given. Created through "\\?\", a piece ending in a dot or a blank,
// or named like a device, would be a file that every later plain call (the
// copy into the install folder, the deletion at uninstall) misses or takes
// for another; the characters no file name may hold fail at creation.
bool HasOnlyPlainFileNames(const std::wstring& name) {
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring_view piece(name.data() + start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (piece.back() == L'.' || piece.back() == L' ' || IsDeviceFileName(piece)) return false;
        for (const wchar_t c : piece) {
            if (c < L' ' || std::wcschr(L"<>\"|?*", c) != nullptr) return false;
        }
    }
    return true;
}

std::wstring CollapseDoubledBackslashes(const std::wstring& path) {
    std::wstring collapsed;
    collapsed.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        collapsed.push_back(path[i]);
        if (path[i] == L'\\' && i + 1 < path.size() && path[i + 1] == L'\\') ++i;
    }
    return collapsed;
}

// Writes the current entry's data to file; true when the entry was read to
// its end and gave exactly its declared size. minizip ends the read early,
// without an error, when the compressed data stops short, and checks the CRC
// only after every declared byte, so the count is what catches a cut entry.
bool CopyCurrentEntry(unzFile archive, std::FILE* file, std::uint64_t declaredSize) {
    char buffer[kCopyChunk];
    std::uint64_t written = 0;
    for (;;) {
        const int count = unzReadCurrentFile(archive, buffer, sizeof buffer);
        if (count == 0) return written == declaredSize;
        if (count < 0) return false;
        if (file != nullptr && std::fwrite(buffer, 1, static_cast<std::size_t>(count), file) !=
                                   static_cast<std::size_t>(count)) {
            return false;
        }
        written += static_cast<std::uint64_t>(count);
    }
}

// True when the entry under the cursor has its data before the central
// directory (which starts at directoryStart, 0 when unknown): a local header
// whose lengths point elsewhere is damage, which reading alone would miss for
// an entry without data.
bool DataLiesBeforeDirectory(unzFile archive, const ZipEntryInfo& info,
                             std::uint64_t directoryStart) {
    return directoryStart == 0 ||
           unzGetCurrentFileZStreamPos64(archive) + info.compressedSize <= directoryStart;
}

// Drops the "." pieces and the empty pieces of doubled separators from a
// decoded name, which the system's own path clean-up would have dropped if
// the "\\?\" form did not turn it off. A leading backslash stays, so that an
// absolute name is still refused; a trailing one stays as the folder mark.
std::wstring DropDotPieces(const std::wstring& name) {
    std::wstring kept;
    if (!name.empty() && name.front() == L'\\') kept.push_back(L'\\');
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring_view piece(name.data() + start, end - start);
        if (!piece.empty() && piece != L".") {
            if (!kept.empty() && kept.back() != L'\\') kept.push_back(L'\\');
            kept.append(piece);
        }
        start = end + 1;
    }
    if (!name.empty() && name.back() == L'\\' && !kept.empty() && kept.back() != L'\\') {
        kept.push_back(L'\\');
    }
    return kept;
}

std::uint64_t ReadLittleEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// Info-ZIP's Unicode path extra field (tag 0x7075: version 1, the CRC-32 of
// the stored name, the name in UTF-8), which Info-ZIP on Windows writes beside
// a name in the local code page. The UTF-8 name, or nothing when the entry has
// no such field or its CRC is not that of the stored name: a tool that renamed
// the entry without the field left one that belongs to another name.
std::optional<std::string_view> UnicodePath(std::string_view extra, std::string_view stored) {
    constexpr std::uint64_t kUnicodePathTag = 0x7075;
    const auto bytes = [](std::string_view text) {
        return reinterpret_cast<const unsigned char*>(text.data());
    };
    while (extra.size() >= 4) {
        const std::uint64_t tag = ReadLittleEndian(bytes(extra), 2);
        const std::size_t size = static_cast<std::size_t>(ReadLittleEndian(bytes(extra) + 2, 2));
        if (size > extra.size() - 4) return std::nullopt;
        const std::string_view data = extra.substr(4, size);
        if (tag == kUnicodePathTag && data.size() >= 5 && data[0] == 1) {
            const uLong nameCrc = crc32(0L, bytes(stored), static_cast<uInt>(stored.size()));
            if (ReadLittleEndian(bytes(data) + 1, 4) != nameCrc) return std::nullopt;
            return data.substr(5);
        }
        extra.remove_prefix(4 + size);
    }
    return std::nullopt;
}

// Reads count bytes at offset of file; false when they are not all there.
bool ReadAt(std::FILE* file, std::uint64_t offset, unsigned char* bytes, std::size_t count) {
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0 &&
           std::fread(bytes, 1, count, file) == count;
}

// Where the archive's central directory ends by its end record: its offset
// plus its size, both as recorded, read from the records minizip reads: the
// last signature within the file's last 0xFFFF bytes, the zip64 end record
// when a zip64 locator of disk 0 of 1 points at one, else the end record.
// The central directory as the end record (or the zip64 end record) gives it:
// where it ends by the record's own offsets (end), and where it starts in the
// file (fileStart: the record's position less the directory's size, so that
// bytes before the archive, as in a self-extractor, are counted).
bool ReadCentralDirectory(const std::wstring& archivePath, std::uint64_t& end,
                          std::uint64_t& fileStart) {
    constexpr std::uint64_t kSearchBytes = 0xFFFF;
    std::FILE* file = _wfopen(archivePath.c_str(), L"rb");
    if (file == nullptr) return false;
    std::vector<unsigned char> tail;
    std::uint64_t tailStart = 0;
    if (_fseeki64(file, 0, SEEK_END) == 0) {
        const long long size = _ftelli64(file);
        if (size > 0) {
            const std::uint64_t fileSize = static_cast<std::uint64_t>(size);
            tailStart = fileSize > kSearchBytes ? fileSize - kSearchBytes : 0;
            tail.resize(static_cast<std::size_t>(fileSize - tailStart));
            if (!ReadAt(file, tailStart, tail.data(), tail.size())) tail.clear();
        }
    }
    // The file offset of the last signature in the tail, or 0 for none (the
    // tail never starts a record at the file's first byte, as minizip reads it).
    const auto lastSignature = [&](const char* signature) -> std::uint64_t {
        for (std::size_t at = tail.size() >= 4 ? tail.size() - 3 : 0; at-- > 0;) {
            if (std::memcmp(tail.data() + at, signature, 4) == 0) return tailStart + at;
        }
        return 0;
    };

    bool found = false;
    unsigned char locator[20];
    unsigned char record[56];
    const std::uint64_t locatorAt = lastSignature("PK\x06\x07");
    if (locatorAt != 0 && ReadAt(file, locatorAt, locator, sizeof locator) &&
        ReadLittleEndian(locator + 4, 4) == 0 && ReadLittleEndian(locator + 16, 4) == 1 &&
        ReadAt(file, ReadLittleEndian(locator + 8, 8), record, sizeof record) &&
        std::memcmp(record, "PK\x06\x06", 4) == 0) {
        const std::uint64_t size = ReadLittleEndian(record + 40, 8);
        const std::uint64_t recordAt = ReadLittleEndian(locator + 8, 8);
        end = ReadLittleEndian(record + 48, 8) + size;
        fileStart = recordAt > size ? recordAt - size : 0;
        found = true;
    } else {
        const std::uint64_t endAt = lastSignature("PK\x05\x06");
        if (endAt != 0 && ReadAt(file, endAt, record, 22)) {
            const std::uint64_t size = ReadLittleEndian(record + 12, 4);
            end = ReadLittleEndian(record + 16, 4) + size;
            fileStart = endAt > size ? endAt - size : 0;
            found = true;
        }
    }
    std::fclose(file);
    return found;
}

// After the walk has reached the entry count of the end record: true when the
// current (last) record ends where the central directory ends, so that no
// record beyond the count and no other bytes in the directory were passed over.
bool LastRecordEndsTheDirectory(unzFile archive, const std::wstring& archivePath) {
    constexpr std::uint64_t kCentralRecordSize = 46;
    unz_file_info64 last{};
    if (unzGetCurrentFileInfo64(archive, &last, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return false;
    }
    std::uint64_t directoryEnd = 0;
    std::uint64_t directoryStart = 0;
    if (!ReadCentralDirectory(archivePath, directoryEnd, directoryStart)) return false;
    const std::uint64_t recordEnd = unzGetOffset64(archive) + kCentralRecordSize +
                                    last.size_filename + last.size_file_extra +
                                    last.size_file_comment;
    return recordEnd == directoryEnd;
}

}  // namespace

CZipArchive::~CZipArchive() {
    CloseArchive();
}

bool CZipArchive::OpenArchive(const std::wstring& archivePath) {
    CloseArchive();
    zlib_filefunc64_def functions;
    fill_fopen64_filefunc(&functions);
    functions.zopen64_file = OpenWidePath;
    // An archive deep in a folder tree is reached behind "\\?\", where the
    // plain file calls stop at MAX_PATH.
    const std::wstring reachable = ExtendedLengthPath(archivePath);
    m_archive = unzOpen2_64(reachable.c_str(), &functions);
    if (m_archive == nullptr) return false;
    m_path = reachable;
    std::uint64_t directoryEnd = 0;
    if (!ReadCentralDirectory(reachable, directoryEnd, m_directoryStart)) m_directoryStart = 0;
    return true;
}

void CZipArchive::CloseArchive() {
    if (m_archive == nullptr) return;
    unzCloseCurrentFile(Handle(m_archive));
    unzClose(Handle(m_archive));
    m_archive = nullptr;
    if (m_raw != nullptr) std::fclose(m_raw);
    m_raw = nullptr;
    m_path.clear();
    m_directoryStart = 0;
    m_dataRanges.clear();
}

bool CZipArchive::ExtractAll(const std::wstring& destination, bool junkPaths) {
    if (m_archive == nullptr || destination.empty()) return false;
    const std::wstring folder = CollapseDoubledBackslashes(destination);
    if (!EnsureFolderPath(folder)) return false;

    unz_global_info64 global{};
    if (unzGetGlobalInfo64(Handle(m_archive), &global) != UNZ_OK || global.number_entry == 0) {
        return false;
    }
    if (unzGoToFirstFile(Handle(m_archive)) != UNZ_OK) return false;
    m_dataRanges.clear();
    for (;;) {
        if (!ExtractCurrentEntry(folder, junkPaths)) return false;
        const int next = unzGoToNextFile(Handle(m_archive));
        if (next == UNZ_END_OF_LIST_OF_FILE) break;
        // Any other failure is a damaged record, or fewer records than counted.
        if (next != UNZ_OK) return false;
    }
    // More records than counted would be left out without a word.
    return LastRecordEndsTheDirectory(Handle(m_archive), m_path);
}

bool CZipArchive::ExtractCurrentEntry(const std::wstring& destination, bool junkPaths) {
    if (m_archive == nullptr || !EnsureFolderPath(destination)) return false;

    ZipEntryInfo info{};
    if (!ReadCurrentEntryInfo(info)) return false;
    unzFile archive = Handle(m_archive);
    // "./" names the destination itself.
    if (info.isFolder && info.name.empty()) {
        return FolderEntryIsWhole(info);
    }
    if (!StaysInsideDestination(info.name) || !HasOnlyPlainFileNames(info.name)) return false;
    if (info.isFolder) return FolderEntryIsWhole(info);
    // minizip reads an encrypted entry as it is stored when no password is
    // given; whatever that yields is not the entry's content.
    if (info.isEncrypted) return false;

    std::wstring target = LongPathForm(destination);
    if (target.back() != L'\\') target.push_back(L'\\');
    if (junkPaths) {
        target.append(info.name.substr(info.name.rfind(L'\\') + 1));
    } else {
        target.append(info.name);
    }
    if (!EnsureParentFolder(target)) return false;

    std::FILE* file = _wfopen(target.c_str(), L"wb");
    if (file == nullptr) return false;
    // The entry is read in small chunks; a larger stream buffer turns them
    // into few large writes instead of one system call per 4 KiB.
    std::setvbuf(file, nullptr, _IOFBF, kWriteBuffer);
    if (unzOpenCurrentFile(archive) != UNZ_OK) {
        std::fclose(file);
        DeleteFileW(target.c_str());
        return false;
    }
    if (!LocalNameMatches(info) || !DataLiesBeforeDirectory(archive, info, m_directoryStart) ||
        !ClaimDataRange(unzGetCurrentFileZStreamPos64(archive), info.compressedSize)) {
        unzCloseCurrentFile(archive);
        std::fclose(file);
        DeleteFileW(target.c_str());
        return false;
    }
    const bool copied = CopyCurrentEntry(archive, file, info.uncompressedSize);
    const bool flushed = std::fflush(file) == 0;
    // The CRC is checked when the entry is closed after being read to its end.
    const bool checked = unzCloseCurrentFile(archive) == UNZ_OK;
    // The times go through the handle that wrote the data, after its last
    // write: no second open per entry.
    if (copied && flushed && checked) {
        SetFileTimesFromDos(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                            info.dosDateTime);
    }
    const bool closedFile = std::fclose(file) == 0;
    if (!(copied && flushed && checked && closedFile)) {
        DeleteFileW(target.c_str());
        return false;
    }
    return true;
}

std::optional<std::uint64_t> CZipArchive::DeclaredBytes() {
    if (m_archive == nullptr) return std::nullopt;
    unzFile archive = Handle(m_archive);
    std::uint64_t total = 0;
    for (int status = unzGoToFirstFile(archive); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(archive)) {
        unz_file_info64 header{};
        if (status != UNZ_OK || unzGetCurrentFileInfo64(archive, &header, nullptr, 0, nullptr, 0,
                                                        nullptr, 0) != UNZ_OK) {
            return std::nullopt;
        }
        total = header.uncompressed_size > UINT64_MAX - total ? UINT64_MAX
                                                              : total + header.uncompressed_size;
    }
    return total;
}

bool CZipArchive::ClaimDataRange(std::uint64_t start, std::uint64_t size) {
    if (size == 0) return true;
    if (start > UINT64_MAX - size) return false;
    const std::uint64_t end = start + size;
    const auto after = m_dataRanges.lower_bound(start);
    if (after != m_dataRanges.end() && after->first < end) return false;
    if (after != m_dataRanges.begin() && std::prev(after)->second > start) return false;
    m_dataRanges.emplace(start, end);
    return true;
}

bool CZipArchive::ReadCurrentEntryInfo(ZipEntryInfo& info) {
    info = ZipEntryInfo{};
    if (m_archive == nullptr) return false;

    char stored[kStoredNameCapacity + 1] = {};
    unz_file_info64 header{};
    if (unzGetCurrentFileInfo64(Handle(m_archive), &header, stored, kStoredNameCapacity, nullptr, 0,
                                nullptr, 0) != UNZ_OK) {
        return false;
    }
    if (header.size_filename > kStoredNameCapacity) return false;

    wchar_t decoded[kDecodedNameCapacity];
    const std::string_view storedName(stored, header.size_filename);
    std::optional<std::string_view> utf8Name;
    std::vector<char> extra(header.size_file_extra);
    if ((header.flag & kUtf8NameFlag) != 0) {
        utf8Name = storedName;
    } else if (!extra.empty() &&
               unzGetCurrentFileInfo64(Handle(m_archive), nullptr, nullptr, 0, extra.data(),
                                       static_cast<uLong>(extra.size()), nullptr, 0) == UNZ_OK) {
        utf8Name = UnicodePath(std::string_view(extra.data(), extra.size()), storedName);
    }
    if (!(utf8Name ? DecodeUtf8StoredName(*utf8Name, decoded, kDecodedNameCapacity)
                   : DecodeStoredName(storedName, decoded, kDecodedNameCapacity))) {
        return false;
    }
    // A name of "." pieces only ("./", as tools write the folder they were
    // given as ".") is a folder entry with an empty name.
    info.name = DropDotPieces(decoded);
    const bool onlyDots = decoded[0] != L'\0' && info.name.empty();
    info.dosDateTime = static_cast<std::uint32_t>(header.dosDate);
    info.uncompressedSize = header.uncompressed_size;
    info.compressedSize = header.compressed_size;
    info.isEncrypted = (header.flag & 1) != 0;
    info.isFolder = onlyDots || (!info.name.empty() && info.name.back() == L'\\');
    info.storedName.assign(storedName);
    return true;
}

bool CZipArchive::FolderEntryIsWhole(const ZipEntryInfo& info) {
    unzFile archive = Handle(m_archive);
    if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
    const bool read = LocalNameMatches(info) &&
                      DataLiesBeforeDirectory(archive, info, m_directoryStart) &&
                      CopyCurrentEntry(archive, nullptr, info.uncompressedSize);
    const bool checked = unzCloseCurrentFile(archive) == UNZ_OK;
    return read && checked;
}

bool CZipArchive::LocalNameMatches(const ZipEntryInfo& info) {
    unzFile archive = Handle(m_archive);
    // minizip has checked the local name's length and placed the data right
    // behind the local name and extra field.
    const int localExtra = unzGetLocalExtrafield(archive, nullptr, 0);
    const std::uint64_t dataStart = unzGetCurrentFileZStreamPos64(archive);
    const std::uint64_t nameLength = info.storedName.size();
    if (localExtra < 0 || dataStart < nameLength + static_cast<std::uint64_t>(localExtra)) {
        return false;
    }
    if (m_raw == nullptr) m_raw = _wfopen(m_path.c_str(), L"rb");
    if (m_raw == nullptr) return false;
    std::string local(nameLength, '\0');
    return ReadAt(m_raw, dataStart - localExtra - nameLength,
                  reinterpret_cast<unsigned char*>(local.data()), local.size()) &&
           local == info.storedName;
}

bool DecodeStoredName(std::string_view stored, wchar_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    std::wmemset(out, L'\0', capacity);

    // Split as _splitpath does: drive, directory up to the last separator,
    // file name up to the last dot of the last piece, extension.
    if (stored.size() >= 2 && stored[1] == ':' &&
        !IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(stored[0]))) {
        stored.remove_prefix(2);
    }
    const std::size_t lastSeparator = LastSeparator(stored);
    const std::size_t nameStart = lastSeparator == std::string_view::npos ? 0 : lastSeparator + 1;
    std::string_view directory = stored.substr(0, nameStart);
    std::string_view lastPiece = stored.substr(nameStart);
    const std::size_t dot = lastPiece.rfind('.');
    std::string_view fileName = lastPiece.substr(0, dot);
    std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : lastPiece.substr(dot);
    // A part cut to its limit would name another file: report it as a cut.
    bool complete = directory.size() <= kSplitPartLimit && fileName.size() <= kSplitPartLimit &&
                    extension.size() <= kSplitPartLimit;
    directory = directory.substr(0, kSplitPartLimit);
    fileName = fileName.substr(0, kSplitPartLimit);
    extension = extension.substr(0, kSplitPartLimit);

    if (!directory.empty()) {
        complete =
            DecodeStoredName(directory.substr(0, directory.size() - 1), out, capacity) && complete;
        complete = AppendConverted(CP_ACP, "\\", out, capacity) && complete;
    }
    if (StartsWithUtf8Marker(fileName)) {
        complete = AppendConverted(CP_UTF8, fileName.substr(2), out, capacity) && complete;
    } else {
        complete = AppendConverted(CP_ACP, fileName, out, capacity) && complete;
    }
    return AppendConverted(CP_ACP, extension, out, capacity) && complete;
}

bool EnsureFolderPath(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    const std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return true;
    if (!EnsureFolderPath(path.substr(0, cut))) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool EnsureParentFolder(const std::wstring& path) {
    const std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return false;
    return EnsureFolderPath(path.substr(0, cut));
}

bool SetFileTimesFromDos(HANDLE file, std::uint32_t dosDateTime) {
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return false;

    FILETIME local{};
    FILETIME stamp{};
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                               static_cast<WORD>(dosDateTime & 0xFFFF), &local) ||
        !LocalFileTimeToFileTime(&local, &stamp)) {
        return false;
    }
    // No last-access time: it stays as the system keeps it.
    return SetFileTime(file, &stamp, nullptr, &stamp) != FALSE;
}
