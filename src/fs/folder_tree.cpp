#include "fs/folder_tree.h"

#include <shlwapi.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "fs/join_path.h"
#include "fs/robust_delete.h"
#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr wchar_t kAllEntries[] = L"*";

// The path as the system calls take it: behind "\\?\" near MAX_PATH
// characters and beyond, where Windows' plain calls stop (a brand's deep names
// in the install folder reach that far), and for a listed name ending in a dot
// or a blank, which the plain calls would change; as given otherwise.
std::wstring Reach(const std::wstring& path) {
    return ReachablePath(path);
}

// A read-only file (or folder) cannot be deleted until the attribute is cleared.
void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(Reach(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

bool IsEmpty(const wchar_t* text) {
    return text == nullptr || *text == L'\0';
}

bool IsDotEntry(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool IsFolderEntry(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Junctions and symbolic links. They are never entered: what they point at
// belongs elsewhere, to the user or to another tree.
bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The entries of one folder listing, "." and ".." left out. The first entry,
// the one FindFirstFileExW returns, is examined like every other: on a drive
// root it is a real entry, not ".". No short names are asked for (nothing here
// uses them, and producing them costs per entry) and entries come in large
// batches.
class FolderListing {
  public:
    explicit FolderListing(const std::wstring& pattern)
        : find_(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &pending_,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)),
          hasPending_(find_.IsValid()) {}

    bool IsOpen() const { return find_.IsValid(); }

    // The next entry into entry; false at the end of the listing, after which
    // Completed() says whether it ended normally.
    bool Next(WIN32_FIND_DATAW& entry) {
        for (;;) {
            if (hasPending_) {
                entry = pending_;
                hasPending_ = false;
            } else if (!FindNextFileW(find_.Get(), &entry)) {
                completed_ = GetLastError() == ERROR_NO_MORE_FILES;
                return false;
            }
            if (!IsDotEntry(entry.cFileName)) return true;
        }
    }

    bool Completed() const { return completed_; }

    void Close() { find_.Reset(); }

  private:
    WIN32_FIND_DATAW pending_{};  // before find_: FindFirstFileExW fills it
    UniqueFindHandle find_;
    bool hasPending_ = false;
    bool completed_ = false;
};

std::wstring FullPath(const wchar_t* path) {
    std::wstring full = FullPathName(path);
    if (full.empty()) return path;
    while (full.size() > 1 && full.back() == L'\\') full.pop_back();
    return full;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when destination names source itself or a folder inside it; copying
// into it would copy the copy again, level after level.
bool IsSameOrInside(const wchar_t* destination, const wchar_t* source) {
    const std::wstring fullSource = FullPath(source);
    const std::wstring fullDestination = FullPath(destination);
    if (fullDestination.size() < fullSource.size()) return false;
    if (!EqualsIgnoringCase(std::wstring_view(fullDestination).substr(0, fullSource.size()),
                            fullSource)) {
        return false;
    }
    return fullDestination.size() == fullSource.size() || fullSource.back() == L'\\' ||
           fullDestination[fullSource.size()] == L'\\';
}

}  // namespace

std::vector<std::wstring> ListFolderFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    FolderListing listing(Reach(JoinPath(folder, kAllEntries)));
    WIN32_FIND_DATAW entry;
    while (listing.IsOpen() && listing.Next(entry)) {
        if (!IsFolderEntry(entry) && !IsLink(entry.dwFileAttributes)) {
            files.push_back(JoinPath(folder, entry.cFileName));
        }
    }
    return files;
}

bool MoveFolderContents(const wchar_t* source, const wchar_t* destination) {
    // An empty source would list the root of the current drive.
    if (IsEmpty(source) || IsEmpty(destination)) return true;

    const std::wstring sourcePrefix = std::wstring(source) + L"\\";
    const std::wstring destinationPrefix = std::wstring(destination) + L"\\";
    FolderListing listing(Reach(sourcePrefix + kAllEntries));
    if (!listing.IsOpen()) return false;

    WIN32_FIND_DATAW entry;
    while (listing.Next(entry)) {
        const std::wstring from = Reach(sourcePrefix + entry.cFileName);
        const std::wstring to = Reach(destinationPrefix + entry.cFileName);
        if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    }
    return listing.Completed();
}

bool CreatePathFolders(const wchar_t* path) {
    if (IsEmpty(path)) return true;

    const std::wstring_view whole(path);
    const wchar_t* afterRoot = PathSkipRootW(path);
    size_t position = afterRoot != nullptr ? static_cast<size_t>(afterRoot - path) : 0;
    while (position < whole.size()) {
        const size_t separator = whole.find(L'\\', position);
        if (separator == std::wstring_view::npos) break;
        const std::wstring folder = Reach(std::wstring(whole.substr(0, separator)));
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        position = separator + 1;
    }
    return true;
}

bool CopyFolderTree(const wchar_t* source, const wchar_t* destination) {
    if (IsEmpty(source) || IsEmpty(destination)) return true;

    FolderListing listing(Reach(JoinPath(source, kAllEntries)));
    if (!listing.IsOpen()) return false;
    if (IsSameOrInside(destination, source)) return false;
    if (!CreateDirectoryW(Reach(destination).c_str(), nullptr)) return false;

    WIN32_FIND_DATAW entry;
    while (listing.Next(entry)) {
        const std::wstring from = JoinPath(source, entry.cFileName);
        const std::wstring to = JoinPath(destination, entry.cFileName);
        // A link is not copied: following it would copy another tree, or the
        // same one over and over when it points back up.
        if (IsLink(entry.dwFileAttributes)) continue;
        const bool copied = IsFolderEntry(entry)
                                ? CopyFolderTree(from.c_str(), to.c_str())
                                : CopyFileW(Reach(from).c_str(), Reach(to).c_str(), TRUE);
        if (!copied) return false;
    }
    return listing.Completed();
}

bool PruneFolderTree(const wchar_t* folder, const std::function<bool(const std::wstring&)>& isOwn) {
    if (IsEmpty(folder) || IsLink(GetFileAttributesW(Reach(folder).c_str()))) return false;
    const std::wstring prefix = std::wstring(folder) + L"\\";
    FolderListing listing(Reach(prefix + kAllEntries));
    if (!listing.IsOpen()) return false;

    WIN32_FIND_DATAW entry;
    while (listing.Next(entry)) {
        const std::wstring path = prefix + entry.cFileName;
        if (IsLink(entry.dwFileAttributes)) continue;
        if (IsFolderEntry(entry)) {
            PruneFolderTree(path.c_str(), isOwn);
        } else if (isOwn(path)) {
            ClearReadOnly(path, entry.dwFileAttributes);
            DeleteFileW(Reach(path).c_str());
        }
    }
    listing.Close();
    // Fails, and leaves the folder, while anything is still in it.
    return RemoveDirectoryW(Reach(folder).c_str()) != FALSE;
}

bool DeleteFolderTree(const wchar_t* folder) {
    if (IsEmpty(folder)) return true;
    // A folder that is itself a link: the link goes, its target stays.
    const DWORD attributes = GetFileAttributesW(Reach(folder).c_str());
    if (IsLink(attributes)) return RemoveLinkRobust(Reach(folder).c_str());

    // Plain concatenation: a folder given with a trailing backslash gives a
    // doubled separator, which the system accepts.
    const std::wstring prefix = std::wstring(folder) + L"\\";
    FolderListing listing(Reach(prefix + kAllEntries));
    if (!listing.IsOpen()) return false;

    WIN32_FIND_DATAW entry;
    while (listing.Next(entry)) {
        const std::wstring path = prefix + entry.cFileName;
        if (IsLink(entry.dwFileAttributes)) {
            RemoveLinkRobust(Reach(path).c_str());
        } else if (IsFolderEntry(entry)) {
            if (!DeleteFolderTree(path.c_str())) return false;
            RemoveFolderRobust(Reach(path).c_str());
        } else {
            ClearReadOnly(path, entry.dwFileAttributes);
            DeleteFileRobust(Reach(path).c_str());
        }
    }
    if (!listing.Completed()) return false;
    listing.Close();
    // Windows does not remove a read-only folder (the shell marks customised
    // folders so) any more than a read-only file.
    if (attributes != INVALID_FILE_ATTRIBUTES) ClearReadOnly(folder, attributes);
    return RemoveFolderRobust(Reach(folder).c_str());
}
