#include "integration/shell_links.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>

#include "win/full_path.h"
#include "win/handles.h"

namespace {

constexpr wchar_t kLinkExtension[] = L".lnk";

// The drive and folder part of a path, as _wsplitpath splits it: everything up
// to and including the last "\" or "/", or the drive alone ("C:") when the
// path has no separator after it. Built without fixed buffers, so a target of
// any length is safe.
std::wstring WorkingFolderOf(const std::wstring& target) {
    const size_t separator = target.find_last_of(L"\\/");
    if (separator != std::wstring::npos) return target.substr(0, separator + 1);
    if (target.size() >= 2 && target[1] == L':') return target.substr(0, 2);
    return {};
}

HRESULT CreateLinkObject(ComPtr<IShellLinkW>& link, ComPtr<IPersistFile>& file) {
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.PutVoid());
    if (FAILED(result)) return result;
    return link->QueryInterface(IID_IPersistFile, file.PutVoid());
}

}  // namespace

bool HasLinkExtension(const std::wstring& name) {
    constexpr std::size_t kExtensionChars = sizeof(kLinkExtension) / sizeof(wchar_t) - 1;
    return name.size() >= kExtensionChars &&
           _wcsicmp(name.c_str() + name.size() - kExtensionChars, kLinkExtension) == 0;
}

std::wstring LinkFileName(const std::wstring& name) {
    return HasLinkExtension(name) ? name : name + kLinkExtension;
}

std::wstring ReadLinkTarget(const wchar_t* linkFile) {
    if (linkFile == nullptr) return {};
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CreateLinkObject(link, file)) || FAILED(file->Load(linkFile, STGM_READ))) {
        return {};
    }
    wchar_t target[MAX_PATH] = {};
    if (link->GetPath(target, MAX_PATH, nullptr, 0) != S_OK) return {};
    return target;
}

bool LinkLeadsInto(const wchar_t* linkFile, const std::wstring& folder) {
    if (folder.empty()) return false;
    const std::wstring target = ReadLinkTarget(linkFile);
    return !target.empty() && IsSameOrInsideFolder(target, folder);
}

HRESULT CreateShortcut(const wchar_t* target, const wchar_t* folder, const wchar_t* name,
                       const wchar_t* icon) {
    if (target == nullptr || folder == nullptr || name == nullptr) return E_POINTER;

    ComPtr<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.PutVoid());
    if (FAILED(result)) return result;

    link->SetPath(target);
    link->SetArguments(nullptr);
    if (icon != nullptr) link->SetIconLocation(icon, 0);
    link->SetWorkingDirectory(WorkingFolderOf(target).c_str());

    ComPtr<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, file.PutVoid());
    if (FAILED(result)) return result;

    // No separator is dropped: a folder ending in "\" gives a doubled one,
    // which the file system accepts.
    const std::wstring linkPath = std::wstring(folder) + L"\\" + LinkFileName(name);
    return file->Save(linkPath.c_str(), TRUE);
}

HRESULT DeleteShortcutIfTarget(const wchar_t* expectedTarget, const wchar_t* linkFile) {
    if (expectedTarget == nullptr || linkFile == nullptr) return E_POINTER;

    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    HRESULT result = CreateLinkObject(link, file);
    if (FAILED(result)) return result;

    result = file->Load(linkFile, STGM_READ);
    if (FAILED(result)) return result;
    result = link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
    if (FAILED(result)) return result;

    wchar_t path[MAX_PATH] = {};
    WIN32_FIND_DATAW findData{};
    result = link->GetPath(path, MAX_PATH, &findData, 0);
    // A link that yields no path never matches, not even an empty expected target.
    if (path[0] != L'\0' && _wcsicmp(expectedTarget, path) == 0) {
        return DeleteFileW(linkFile) ? S_OK : E_FAIL;
    }
    return result;
}

bool GetSpecialFolderPath(std::wstring& path, int csidl) {
    path.clear();
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Put()))) return false;

    PIDLIST_ABSOLUTE items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) return false;

    wchar_t buffer[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(items, buffer);
    allocator->Free(items);
    if (!found) return false;
    path = buffer;
    return true;
}
