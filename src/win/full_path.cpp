#include "win/full_path.h"

#include <windows.h>

namespace {

bool IsBareDrive(const std::wstring& path) {
    return path.size() == 2 && path[1] == L':';
}

bool EqualsIgnoringCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace

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

std::wstring ComparableFolderPath(const std::wstring& folder) {
    std::wstring full = FullPathName(IsBareDrive(folder) ? folder + L"\\" : folder);
    if (full.empty()) return {};
    std::wstring longForm(full.size() + MAX_PATH, L'\0');
    const DWORD length =
        GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (length > 0 && length < longForm.size()) {
        longForm.resize(length);
        full = longForm;
    }
    for (wchar_t& c : full) {
        if (c == L'/') c = L'\\';
    }
    while (full.size() > 1 && full.back() == L'\\' && !(full.size() == 3 && full[1] == L':')) {
        full.pop_back();
    }
    return full;
}

bool IsSameOrInsideFolder(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring in = ComparableFolderPath(inner);
    const std::wstring out = ComparableFolderPath(outer);
    if (in.empty() || out.empty() || in.size() < out.size()) return false;
    if (!EqualsIgnoringCase(in.c_str(), out.size(), out.c_str(), out.size())) return false;
    return in.size() == out.size() || out.back() == L'\\' || in[out.size()] == L'\\';
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b) {
    const std::wstring first = ComparableFolderPath(a);
    const std::wstring second = ComparableFolderPath(b);
    return !first.empty() && EqualsIgnoringCase(first.c_str(), first.size(), second.c_str(),
                                                second.size());
}
