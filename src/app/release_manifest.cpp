#include "app/release_manifest.h"

#include <windows.h>

#include <algorithm>
#include <set>

#include "branding/brand_settings.h"
#include "fs/folder_tree.h"
#include "fs/join_path.h"
#include "integration/client_contract.h"
#include "logging/log_write.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr unsigned kAppLogModule = 33;
constexpr uint32_t kManifestLogCode = 31;
constexpr uint32_t kMoveLogCode = 6;
constexpr wchar_t kSettingsFileName[] = L"mysettings.xml";
constexpr wchar_t kUnpackAgain[] =
    L"nothing was changed. Unpack the release again into an empty folder and start the "
    L"install again.";

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    UniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    // A manifest lists file names; anything this large is not one.
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 16 * 1024 * 1024) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        return false;
    }
    return true;
}

std::wstring FromUtf8(const std::string& text, bool& valid) {
    valid = true;
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        valid = false;
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

// A path that stays inside the release folder: relative, parts separated by
// one "\" ("/" is read as "\"), no empty, "." or ".." part, no drive, stream
// or wildcard characters.
bool NormaliseRelativePath(std::wstring& path) {
    if (path.empty()) return false;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
        if (c < 0x20 || wcschr(L":*?\"<>|", c) != nullptr) return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L'\\', start);
        const std::wstring part = path.substr(start, end == std::wstring::npos ? end : end - start);
        if (part.empty() || part == L"." || part == L"..") return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

std::wstring Upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

// True for a listed path that MoveListedReleaseFiles moves with its folder or
// as the install's own file rather than on its own.
bool MovedSeparately(const std::wstring& path) {
    const size_t separator = path.find(L'\\');
    if (separator == std::wstring::npos) return SameName(path, kSettingsFileName);
    return SameName(path.substr(0, separator), kBrandingFolderName);
}

bool ReadManifest(const std::wstring& manifest, std::vector<ReleaseFile>& files,
                  std::wstring& problem) {
    std::string bytes;
    if (!ReadWholeFile(manifest, bytes)) {
        problem = L"it cannot be read, error " + std::to_wstring(GetLastError());
        return false;
    }
    return ParseReleaseManifest(bytes, files, problem);
}

// Release and install paths may pass MAX_PATH (a deep listed file, a long
// %APPDATA%): they are handed to the system behind "\\?\" then.
bool MoveEntry(const std::wstring& source, const std::wstring& destination) {
    return MoveFileExW(ExtendedLengthPath(source).c_str(), ExtendedLengthPath(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace

bool ParseReleaseManifest(const std::string& bytes, std::vector<ReleaseFile>& files,
                          std::wstring& problem) {
    files.clear();
    bool valid = true;
    std::wstring text = FromUtf8(bytes, valid);
    if (!valid) {
        problem = L"it is not UTF-8 text";
        return false;
    }
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);

    std::set<std::wstring> seen;
    size_t lineNumber = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line.front() == L'#') continue;

        const std::wstring where = L"line " + std::to_wstring(lineNumber);
        const size_t hashEnd = line.find(L' ');
        const size_t sizeEnd = hashEnd == std::wstring::npos ? hashEnd : line.find(L' ', hashEnd + 1);
        if (sizeEnd == std::wstring::npos || hashEnd != 64 ||
            line.find_first_not_of(L"0123456789abcdefABCDEF") != 64) {
            problem = where + L" is not \"<SHA-256> <size> <path>\"";
            return false;
        }
        const std::wstring sizeText = line.substr(hashEnd + 1, sizeEnd - hashEnd - 1);
        if (sizeText.empty() || sizeText.size() > 19 ||
            sizeText.find_first_not_of(L"0123456789") != std::wstring::npos) {
            problem = where + L" has no valid size";
            return false;
        }
        ReleaseFile file;
        file.size = std::stoull(sizeText);
        file.path = line.substr(sizeEnd + 1);
        if (!NormaliseRelativePath(file.path)) {
            problem = where + L" names a path outside the release folder";
            return false;
        }
        if (SameName(file.path, kReleaseManifestName)) {
            problem = where + L" names the manifest itself";
            return false;
        }
        if (!seen.insert(Upper(file.path)).second) {
            problem = where + L" lists a file a second time";
            return false;
        }
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        problem = L"it lists no file";
        return false;
    }
    return true;
}

bool HasReleaseManifest(const std::wstring& releaseFolder) {
    return PathExists(JoinPath(releaseFolder, kReleaseManifestName));
}

bool CheckReleaseFolder(const std::wstring& releaseFolder) {
    if (!HasReleaseManifest(releaseFolder)) return true;
    const std::wstring manifest = JoinPath(releaseFolder, kReleaseManifestName);
    std::vector<ReleaseFile> files;
    std::wstring problem;
    if (!ReadManifest(manifest, files, problem)) {
        LogWrite(1, kAppLogModule, kManifestLogCode, L"Release manifest %s cannot be used (%s); %s\n",
                 manifest.c_str(), problem.c_str(), kUnpackAgain);
        return false;
    }
    for (const ReleaseFile& file : files) {
        const std::wstring path = JoinPath(releaseFolder, file.path);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            LogWrite(1, kAppLogModule, kManifestLogCode,
                     L"Release file %s listed in %s is missing; %s\n", path.c_str(),
                     manifest.c_str(), kUnpackAgain);
            return false;
        }
        const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size != file.size) {
            LogWrite(1, kAppLogModule, kManifestLogCode,
                     L"Release file %s has %s bytes where %s lists %s; %s\n", path.c_str(),
                     std::to_wstring(size).c_str(), manifest.c_str(),
                     std::to_wstring(file.size).c_str(), kUnpackAgain);
            return false;
        }
    }
    LogWrite(3, kAppLogModule, kManifestLogCode,
             L"Release manifest %s: all %u listed files are present\n", manifest.c_str(),
             static_cast<unsigned>(files.size()));
    return true;
}

bool MoveListedReleaseFiles(const std::wstring& releaseFolder, const std::wstring& installFolder) {
    const std::wstring manifest = JoinPath(releaseFolder, kReleaseManifestName);
    std::vector<ReleaseFile> files;
    std::wstring problem;
    if (!ReadManifest(manifest, files, problem)) return false;
    // The install's own entries first: an install ended during the move then
    // has left the user's settings in the install folder, where the next
    // install backs them up from.
    for (const wchar_t* own : {kBrandingFolderName, kSettingsFileName}) {
        const std::wstring source = JoinPath(releaseFolder, own);
        if (!PathExists(source)) continue;
        if (!MoveEntry(source, JoinPath(installFolder, own))) return false;
    }
    // The installer itself goes after the other listed files, so that a
    // release folder left half-moved still holds it to start again with.
    std::stable_partition(files.begin(), files.end(), [](const ReleaseFile& file) {
        return !SameName(file.path, kUninstallerExe);
    });
    for (const ReleaseFile& file : files) {
        if (MovedSeparately(file.path)) continue;
        const std::wstring destination = JoinPath(installFolder, file.path);
        if (!CreatePathFolders(destination.c_str()) ||
            !MoveEntry(JoinPath(releaseFolder, file.path), destination)) {
            return false;
        }
    }
    // Folders the listed files leave empty go; a folder that still holds
    // anything stays (deepest first, so that parents can follow).
    std::set<std::wstring> folders;
    for (const ReleaseFile& file : files) {
        for (size_t end = file.path.rfind(L'\\'); end != std::wstring::npos && end > 0;
             end = file.path.rfind(L'\\', end - 1)) {
            if (!MovedSeparately(file.path)) folders.insert(file.path.substr(0, end));
        }
    }
    std::vector<std::wstring> deepestFirst(folders.begin(), folders.end());
    std::sort(deepestFirst.begin(), deepestFirst.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : deepestFirst) {
        RemoveDirectoryW(ExtendedLengthPath(JoinPath(releaseFolder, folder)).c_str());
    }
    // Last: while any listed file is still in the release folder, so is the
    // manifest, and a new start checks the folder and stops.
    return MoveEntry(manifest, JoinPath(installFolder, kReleaseManifestName));
}

namespace {

// A file that is missing counts as free: the checks before tell what is missing.
bool IsFreeToMove(const std::wstring& path) {
    const UniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
    const DWORD error = GetLastError();
    return file || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool ReleaseFilesAreFreeToMove(const std::wstring& releaseFolder) {
    std::vector<std::wstring> paths;
    std::vector<ReleaseFile> files;
    std::wstring problem;
    if (HasReleaseManifest(releaseFolder) &&
        ReadManifest(JoinPath(releaseFolder, kReleaseManifestName), files, problem)) {
        for (const ReleaseFile& file : files) paths.push_back(JoinPath(releaseFolder, file.path));
    } else {
        paths = ListFolderFiles(releaseFolder);
    }
    for (const std::wstring& path : paths) {
        if (IsFreeToMove(path)) continue;
        LogWrite(1, kAppLogModule, kMoveLogCode,
                 L"Release file %s is in use by another program and cannot be moved; nothing is "
                 L"deleted or installed (close it, then start the install again)\n",
                 path.c_str());
        return false;
    }
    return true;
}
