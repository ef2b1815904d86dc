#include "win/full_path.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

bool IsBareDrive(const std::wstring& path) {
    return path.size() == 2 && path[1] == L':';
}

bool EqualsIgnoringCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) ==
           CSTR_EQUAL;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The drive or share path behind a device prefix: "\\?\", "\\.\" and "\??\"
// (either slash) before "X:" or "UNC\server\share". Each reaches the file
// system's own folder, so each names the folder of the plain form. Other
// device paths (volume names, GLOBALROOT) are left as they are.
std::wstring WithoutDevicePrefix(const std::wstring& path) {
    const bool device = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[3]) &&
                        ((IsSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.')) ||
                         (path[1] == L'?' && path[2] == L'?'));
    if (!device) return path;
    const std::wstring rest = path.substr(4);
    if (rest.size() >= 2 && iswalpha(rest[0]) && rest[1] == L':' &&
        (rest.size() == 2 || IsSeparator(rest[2]))) {
        return rest;
    }
    if (rest.size() > 4 && EqualsIgnoringCase(rest.c_str(), 3, L"UNC", 3) && IsSeparator(rest[3])) {
        return L"\\\\" + rest.substr(4);
    }
    return path;
}

}  // namespace

bool IsDeviceFileName(std::wstring_view piece) {
    std::wstring_view base = piece.substr(0, piece.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    const auto same = [&](std::wstring_view part, std::wstring_view name) {
        return EqualsIgnoringCase(part.data(), part.size(), name.data(), name.size());
    };
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (same(base, device)) return true;
    }
    if (base.size() != 4) return false;
    const bool port = same(base.substr(0, 3), L"COM") || same(base.substr(0, 3), L"LPT");
    const wchar_t number = base[3];
    return port && ((number >= L'0' && number <= L'9') || number == L'\u00B9' ||
                    number == L'\u00B2' || number == L'\u00B3');
}

std::wstring FullPathName(const std::wstring& path) {
    if (path.empty()) return {};
    std::wstring full(MAX_PATH, L'\0');
    // The answer can grow between calls when the current folder changes.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
    return {};
}

bool IsAbsolutePath(const std::wstring& path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    const bool driveAbsolute =
        path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && separator(path[2]);
    const bool network = path.size() > 2 && separator(path[0]) && separator(path[1]);
    return driveAbsolute || network;
}

std::wstring PlainFullPath(const std::wstring& folder) {
    // "\\?\" only turns off the system's clean-up and "\\.\" or "\??\" only
    // name the device namespace; the folder is the one without them.
    const std::wstring path = WithoutDevicePrefix(folder);
    std::wstring full = FullPathName(IsBareDrive(path) ? path + L"\\" : path);
    for (wchar_t& c : full) {
        if (c == L'/') c = L'\\';
    }
    while (full.size() > 1 && full.back() == L'\\' && !(full.size() == 3 && full[1] == L':')) {
        full.pop_back();
    }
    return full;
}

std::wstring ComparableFolderPath(const std::wstring& folder) {
    const std::wstring full = PlainFullPath(folder);
    if (full.empty()) return {};
    std::wstring longForm(full.size() + MAX_PATH, L'\0');
    const DWORD length =
        GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (length == 0 || length >= longForm.size()) return full;
    longForm.resize(length);
    return PlainFullPath(longForm);
}

std::wstring ResolvedFolderPath(const std::wstring& folder) {
    const std::wstring full = PlainFullPath(folder);
    if (full.empty()) return {};
    HANDLE handle = CreateFileW(ExtendedLengthPath(full).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring resolved(full.size() + MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, resolved.data(),
                                             static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
    if (length >= resolved.size()) {
        resolved.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, resolved.data(),
                                           static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(handle);
    if (length == 0 || length >= resolved.size()) return {};
    resolved.resize(length);
    return PlainFullPath(resolved);
}

std::vector<std::wstring> FolderPathPieces(const std::wstring& plain) {
    size_t root = 0;
    if (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\') {
        root = 3;
    } else if (plain.starts_with(L"\\\\")) {
        const size_t server = plain.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : plain.find(L'\\', server + 1);
        root = share == std::wstring::npos ? plain.size() : share;
    } else {
        return {};
    }
    std::vector<std::wstring> pieces{plain.substr(0, root)};
    size_t start = root;
    while (start < plain.size()) {
        size_t end = plain.find(L'\\', start);
        if (end == std::wstring::npos) end = plain.size();
        if (end > start) pieces.push_back(plain.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::wstring JoinFolderPathPieces(const std::vector<std::wstring>& pieces, size_t count) {
    if (pieces.empty() || count + 1 > pieces.size()) return {};
    std::wstring path = pieces[0];
    for (size_t i = 1; i <= count; ++i) {
        if (path.back() != L'\\') path.push_back(L'\\');
        path += pieces[i];
    }
    return path;
}

bool IsSameOrInsideFolder(const std::wstring& inner, const std::wstring& outer) {
    return IsSameOrInsideComparable(ComparableFolderPath(inner), ComparableFolderPath(outer));
}

bool IsSameOrInsideComparable(const std::wstring& in, const std::wstring& out) {
    if (in.empty() || out.empty() || in.size() < out.size()) return false;
    if (!EqualsIgnoringCase(in.c_str(), out.size(), out.c_str(), out.size())) return false;
    return in.size() == out.size() || out.back() == L'\\' || in[out.size()] == L'\\';
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b) {
    return IsSameFolderComparable(ComparableFolderPath(a), ComparableFolderPath(b));
}

bool IsSameFolderComparable(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && EqualsIgnoringCase(a.c_str(), a.size(), b.c_str(), b.size());
}

std::wstring ReachablePath(const std::wstring& path) {
    if (HasPieceThatOnlyTheLongFormReaches(path)) {
        std::wstring exact = ExactLongPathForm(path);
        if (!exact.empty()) return exact;
    }
    return ExtendedLengthPath(path);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring VolumeRootOf(const std::wstring& path) {
    const std::wstring full = ComparableFolderPath(path);
    if (full.empty()) return {};
    std::wstring root(full.size() + 2, L'\0');
    if (!GetVolumePathNameW(full.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        return {};
    }
    root.resize(wcslen(root.c_str()));
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    return root;
}

bool IsVolumeRoot(const std::wstring& folder) {
    const std::wstring full = ComparableFolderPath(folder);
    if (full.empty()) return false;
    if (full.size() == 3 && full[1] == L':') return true;
    // "\\server\share" has no separator after the share name.
    if (full.starts_with(L"\\\\")) {
        const size_t share = full.find(L'\\', 2);
        if (share != std::wstring::npos && full.find(L'\\', share + 1) == std::wstring::npos) {
            return true;
        }
    }
    const std::wstring root = VolumeRootOf(full);
    return !root.empty() && IsSameFolder(root, full);
}

bool IsOnSameVolume(const std::wstring& a, const std::wstring& b) {
    const std::wstring first = VolumeRootOf(a);
    const std::wstring second = VolumeRootOf(b);
    if (first.empty() || second.empty()) return false;
    if (IsSameFolder(first, second)) return true;
    // Two roots can name one volume (a drive letter and a mounted folder).
    wchar_t firstName[MAX_PATH] = {};
    wchar_t secondName[MAX_PATH] = {};
    return GetVolumeNameForVolumeMountPointW(first.c_str(), firstName, MAX_PATH) &&
           GetVolumeNameForVolumeMountPointW(second.c_str(), secondName, MAX_PATH) &&
           _wcsicmp(firstName, secondName) == 0;
}

std::wstring LongPathForm(const std::wstring& path) {
    constexpr wchar_t kPrefix[] = L"\\\\?\\";
    if (path.starts_with(kPrefix)) return path;
    std::wstring full = FullPathName(path);
    if (full.empty()) full = path;
    // "\\.\" names the same device namespace; "\\?\" only skips the clean-up
    // that FullPathName has done.
    if (full.starts_with(L"\\\\.\\")) return kPrefix + full.substr(4);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return kPrefix + full;
}

namespace {

// Calls piece(text) for each piece between separators, the empty ones too;
// stops and gives false as soon as one call does.
template <typename PieceCheck>
bool EveryPiece(std::wstring_view path, PieceCheck piece) {
    for (size_t start = 0;;) {
        const size_t end = path.find(L'\\', start);
        if (!piece(path.substr(start, end == std::wstring_view::npos ? end : end - start))) {
            return false;
        }
        if (end == std::wstring_view::npos) return true;
        start = end + 1;
    }
}

}  // namespace

bool HasPieceThatOnlyTheLongFormReaches(const std::wstring& path) {
    return !EveryPiece(path, [](std::wstring_view piece) {
        return piece.empty() || piece == L"." || piece == L".." ||
               (piece.back() != L'.' && piece.back() != L' ');
    });
}

std::wstring ExactLongPathForm(const std::wstring& path) {
    constexpr wchar_t kPrefix[] = L"\\\\?\\";
    std::wstring root;
    std::wstring_view rest;
    if (path.starts_with(kPrefix)) return path;
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
        root = kPrefix + path.substr(0, 3);
        rest = std::wstring_view(path).substr(3);
    } else if (path.size() > 2 && path.starts_with(L"\\\\") && path[2] != L'?' && path[2] != L'.') {
        root = L"\\\\?\\UNC\\";
        rest = std::wstring_view(path).substr(2);
    } else {
        return {};
    }
    if (path.find(L'/') != std::wstring::npos) return {};
    std::wstring exact = root;
    const bool plain = EveryPiece(rest, [&](std::wstring_view piece) {
        if (piece == L"." || piece == L"..") return false;
        if (piece.empty()) return true;
        if (exact.back() != L'\\') exact += L'\\';
        exact += piece;
        return true;
    });
    return plain ? exact : std::wstring();
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
    // CreateDirectoryW stops 12 characters short of MAX_PATH (room for an 8.3
    // name), so every call gets the long form from there on.
    constexpr size_t kPlainLimit = MAX_PATH - 12;
    return path.size() < kPlainLimit ? path : LongPathForm(path);
}
