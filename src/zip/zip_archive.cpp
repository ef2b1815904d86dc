#include "zip/zip_archive.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include <unzip.h>

#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr std::size_t kCopyChunk = 2048;
constexpr std::size_t kSplitPartLimit = 255;  // bytes per part, as _splitpath keeps them
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

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

// The destination's full path in its "\\?\" form (UNC paths as
// "\\?\UNC\server\share"); a path already in that form is kept. The full
// path is taken first because the prefix turns off the system's own clean-up
// of "/", "." pieces and trailing dots, which the folder creation went through.
std::wstring LongPathForm(const std::wstring& folder) {
    if (folder.rfind(kLongPathPrefix, 0) == 0) return folder;
    std::wstring full = FullPathName(folder);
    if (full.empty()) full = folder;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return kLongPathPrefix + full;
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

// Writes the current entry's data to file; true when the whole entry was read.
bool CopyCurrentEntry(unzFile archive, std::FILE* file) {
    char buffer[kCopyChunk];
    for (;;) {
        const int count = unzReadCurrentFile(archive, buffer, sizeof buffer);
        if (count == 0) return true;
        if (count < 0) return false;
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(count), file) !=
            static_cast<std::size_t>(count)) {
            return false;
        }
    }
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
    m_archive = unzOpen2_64(archivePath.c_str(), &functions);
    return m_archive != nullptr;
}

void CZipArchive::CloseArchive() {
    if (m_archive == nullptr) return;
    unzCloseCurrentFile(Handle(m_archive));
    unzClose(Handle(m_archive));
    m_archive = nullptr;
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
    do {
        if (!ExtractCurrentEntry(folder, junkPaths)) return false;
    } while (unzGoToNextFile(Handle(m_archive)) == UNZ_OK);
    return true;
}

bool CZipArchive::ExtractCurrentEntry(const std::wstring& destination, bool junkPaths) {
    if (m_archive == nullptr || !EnsureFolderPath(destination)) return false;

    ZipEntryInfo info{};
    if (!ReadCurrentEntryInfo(info) || !StaysInsideDestination(info.name)) return false;
    if (info.isFolder) return true;

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
    if (unzOpenCurrentFile(Handle(m_archive)) != UNZ_OK) {
        std::fclose(file);
        DeleteFileW(target.c_str());
        return false;
    }
    const bool copied = CopyCurrentEntry(Handle(m_archive), file);
    const bool closedFile = std::fclose(file) == 0;
    // The CRC is checked when the entry is closed after being read to its end.
    const bool checked = unzCloseCurrentFile(Handle(m_archive)) == UNZ_OK;
    if (!(copied && closedFile && checked)) {
        DeleteFileW(target.c_str());
        return false;
    }
    SetFileTimesFromDos(target, info.dosDateTime);
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
    if (!DecodeStoredName(std::string_view(stored, header.size_filename), decoded,
                          kDecodedNameCapacity)) {
        return false;
    }
    info.name = decoded;
    info.dosDateTime = static_cast<std::uint32_t>(header.dosDate);
    info.isFolder = !info.name.empty() && info.name.back() == L'\\';
    return true;
}

bool DecodeStoredName(std::string_view stored, wchar_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    std::wmemset(out, L'\0', capacity);

    // Split as _splitpath does: drive, directory up to the last separator,
    // file name up to the last dot of the last piece, extension.
    if (stored.size() >= 2 && stored[1] == ':') stored.remove_prefix(2);
    std::size_t lastSeparator = std::string_view::npos;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (IsSeparator(stored[i])) lastSeparator = i;
    }
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
    if (fileName.size() >= 2 && fileName[0] == '\x7F' && fileName[1] == '\x7F') {
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

bool SetFileTimesFromDos(const std::wstring& path, std::uint32_t dosDateTime) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    FILETIME lastAccess{};
    if (!GetFileTime(file.Get(), nullptr, &lastAccess, nullptr)) return false;

    FILETIME local{};
    FILETIME stamp{};
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                               static_cast<WORD>(dosDateTime & 0xFFFF), &local) ||
        !LocalFileTimeToFileTime(&local, &stamp)) {
        return false;
    }
    return SetFileTime(file.Get(), &stamp, &lastAccess, &stamp) != FALSE;
}
