#include "fs/fs_test_helpers.h"

#include <atomic>

namespace fs_testing {

namespace {

constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

std::optional<std::wstring> ReadVariable(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring value(needed, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), needed));
    return value;
}

void RestoreVariable(const wchar_t* name, const std::optional<std::wstring>& value) {
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

std::optional<std::vector<BYTE>> ReadPendingRenames() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, &key) != 0) {
        return std::nullopt;
    }
    DWORD size = 0;
    std::optional<std::vector<BYTE>> data;
    if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, nullptr, nullptr, &size) == 0) {
        data.emplace(size);
        RegQueryValueExW(key, kPendingRenamesValue, nullptr, nullptr, data->data(), &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return data;
}

void RemoveLongFormTree(const std::wstring& longForm) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((longForm + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = longForm + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveLongFormTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(longForm.c_str());
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           _wcsicmp(text.c_str() + (text.size() - tail.size()), tail.c_str()) == 0;
}

}  // namespace

HeldFile::HeldFile(const wchar_t* mode, const std::wstring& path) {
    static std::atomic<unsigned> counter{0};
    const std::wstring eventName = L"fs_test_holder_" + std::to_wstring(GetCurrentProcessId()) +
                                   L"_" + std::to_wstring(++counter);
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    const std::wstring command =
        testing_support::Quoted(testing_support::BinFolder() + L"\\file_holder.exe") + L" " + mode +
        L" " + testing_support::Quoted(path) + L" " + eventName;
    if (holder_.Start(command)) {
        const HANDLE waits[] = {ready, holder_.Handle()};
        held_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
}

TemporaryFolderOverride::TemporaryFolderOverride(const std::wstring& folder)
    : oldTmp_(ReadVariable(L"TMP")), oldTemp_(ReadVariable(L"TEMP")) {
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

TemporaryFolderOverride::~TemporaryFolderOverride() {
    RestoreVariable(L"TMP", oldTmp_);
    RestoreVariable(L"TEMP", oldTemp_);
}

PendingRenamesSnapshot::PendingRenamesSnapshot() : saved_(ReadPendingRenames()) {}

PendingRenamesSnapshot::~PendingRenamesSnapshot() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != 0) return;
    if (saved_) {
        RegSetValueExW(key, kPendingRenamesValue, 0, REG_MULTI_SZ, saved_->data(),
                       static_cast<DWORD>(saved_->size()));
    } else {
        RegDeleteValueW(key, kPendingRenamesValue);
    }
    RegCloseKey(key);
}

bool IsPendingDeletion(const std::wstring& path) {
    const auto data = ReadPendingRenames();
    if (!data) return false;
    std::wstring text(data->size() / sizeof(wchar_t), L'\0');
    memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
    // Pairs of source and new name; an empty new name means deletion.
    std::vector<std::wstring> items;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find(L'\0', start);
        items.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    const std::wstring plain = path.starts_with(L"\\\\?\\") ? path.substr(4) : path;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i + 1].empty() && EndsWithNoCase(items[i], L"\\" + plain)) return true;
    }
    return false;
}

std::vector<std::wstring> ListNames(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

TreeRemoval::~TreeRemoval() {
    RemoveLongFormTree(L"\\\\?\\" + path_);
}

std::wstring MakeLongFolder(const std::wstring& base) {
    std::wstring path = base;
    CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
    while (path.size() <= MAX_PATH + 20) {
        path += L"\\long-folder-name-0123456789";
        CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
    }
    return path;
}

}  // namespace fs_testing
