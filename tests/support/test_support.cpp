#include "support/test_support.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>

#include "win/handles.h"

namespace testing_support {

std::wstring BinFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\'));
}

namespace {

std::atomic<unsigned> g_uniqueCounter{0};

std::wstring UniqueName(const wchar_t* prefix) {
    return std::wstring(prefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64() % 100000) + L"-" + std::to_wstring(++g_uniqueCounter);
}

}  // namespace

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(ARRAYSIZE(temp), temp);
    path_ = std::wstring(temp) + UniqueName(L"t");
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

std::wstring TempFolder::operator/(const std::wstring& relative) const {
    return path_ + L"\\" + relative;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

namespace {

bool IsLinkAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a tree given in its "\\?\" form without entering links: a link is
// removed as itself (RemoveFolderLink), whatever it points at stays.
void RemoveTreeInLongForm(const std::wstring& path) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (IsLinkAttributes(entry.dwFileAttributes)) {
                RemoveFolderLink(child);
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTreeInLongForm(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::wstring& path) {
    if (path.empty()) return;
    std::wstring base = path;
    while (base.size() > 3 && base.back() == L'\\') base.pop_back();
    if (base.size() >= 2 && base[1] == L':') base = L"\\\\?\\" + base;
    if (IsLinkAttributes(GetFileAttributesW(base.c_str()))) {
        RemoveFolderLink(base);
        return;
    }
    RemoveTreeInLongForm(base);
}

std::wstring ReadUtf16File(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    std::wstring text(bytes.size() / 2, L'\0');
    memcpy(text.data(), bytes.data(), text.size() * 2);
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    return text;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int chars =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), chars);
    return out;
}

RegistrySandbox::RegistrySandbox() {
    path_ = L"Software\\InstallerTests\\" + UniqueName(L"s");
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, key_);
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

namespace {

// The current environment with the changes applied, as a CreateProcessW block.
std::wstring BuildEnvironment(const EnvironmentChanges& changes) {
    // Windows keeps environment names case-insensitive; sort them that way.
    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const {
            return _wcsicmp(a.c_str(), b.c_str()) < 0;
        }
    };
    std::map<std::wstring, std::wstring, NoCase> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const size_t equals = text.find(L'=', 1);
        if (equals == std::wstring::npos) continue;
        variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::wstring result;
    for (const auto& [name, value] : variables) result += name + L"=" + value + L'\0';
    result += L'\0';
    return result;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (process_ != nullptr) {
        if (IsRunning()) Terminate();
        CloseHandle(process_);
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(other.id_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (process_ != nullptr) CloseHandle(process_);
        process_ = std::exchange(other.process_, nullptr);
        id_ = other.id_;
    }
    return *this;
}

bool ChildProcess::Start(const std::wstring& commandLine, const EnvironmentChanges& environment,
                         const std::wstring& workingFolder, const std::wstring& stdoutFile) {
    std::wstring mutableLine = commandLine;
    std::wstring env = BuildEnvironment(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!stdoutFile.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        output = CreateFileW(stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr,
                       output != INVALID_HANDLE_VALUE, CREATE_UNICODE_ENVIRONMENT, env.data(),
                       workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!started) return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    if (process_ == nullptr) return std::nullopt;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool ChildProcess::IsRunning() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Terminate() {
    if (process_ != nullptr) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
}

std::optional<DWORD> RunProgram(const std::wstring& commandLine,
                                const EnvironmentChanges& environment, DWORD timeoutMs,
                                const std::wstring& stdoutFile) {
    ChildProcess child;
    if (!child.Start(commandLine, environment, L"", stdoutFile)) return std::nullopt;
    return child.Wait(timeoutMs);
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

namespace {

using UnixFileName = char*(CDECL*)(const wchar_t*);

// Wine's translation of a Windows path to the Linux one; null on Windows.
UnixFileName WineUnixFileName() {
    return reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// Runs a Linux tool under Wine on the Linux names of the given paths and waits
// until done() holds (a Linux program's process gives no exit code here).
template <typename Done>
bool RunOnLinuxNames(const wchar_t* tool, const std::vector<std::wstring>& paths, Done done) {
    const UnixFileName unixName = WineUnixFileName();
    std::wstring command = std::wstring(L"\\\\?\\unix\\bin\\") + tool;
    for (const std::wstring& path : paths) {
        char* name = unixName(path.c_str());
        if (name == nullptr) return false;
        command += L" " + Quoted(FromUtf8(name));
        HeapFree(GetProcessHeap(), 0, name);
    }
    ChildProcess process;  // kept until done
    return process.Start(command) && WaitUntil(done);
}

}  // namespace

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    if (WineUnixFileName() == nullptr) {
        return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) !=
               FALSE;
    }
    return RunOnLinuxNames(L"ln -s", {target, link},
                           [&] { return IsLinkAttributes(GetFileAttributesW(link.c_str())); });
}

void RemoveFolderLink(const std::wstring& link) {
    if (WineUnixFileName() == nullptr) {
        if (!RemoveDirectoryW(link.c_str())) DeleteFileW(link.c_str());
        return;
    }
    // Wine's own calls would reach the link's target.
    RunOnLinuxNames(L"rm -f", {link}, [&] {
        return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetLastError() != ERROR_SHARING_VIOLATION;
    });
}

namespace {

void ListInto(const std::wstring& root, const std::wstring& relative,
              std::vector<std::wstring>& items) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            items.push_back(relative + name + L"\\");
            ListInto(root, relative + name + L"\\", items);
        } else {
            items.push_back(relative + name);
        }
    } while (FindNextFileW(find.Get(), &found));
}

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::wstring base = root;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    if (base.size() >= 2 && base[1] == L':') base = L"\\\\?\\" + base;
    std::vector<std::wstring> items;
    ListInto(base, L"", items);
    std::sort(items.begin(), items.end());
    return items;
}

LinkContents ReadLink(const std::wstring& linkFile) {
    LinkContents contents;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.PutVoid()))) {
        return contents;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return contents;
    contents.loaded = file->Load(linkFile.c_str(), STGM_READ);
    if (FAILED(contents.loaded)) return contents;

    wchar_t text[MAX_PATH * 2] = {};
    if (SUCCEEDED(link->GetPath(text, ARRAYSIZE(text), nullptr, SLGP_RAWPATH))) {
        contents.target = text;
    }
    text[0] = L'\0';
    if (SUCCEEDED(link->GetWorkingDirectory(text, ARRAYSIZE(text)))) contents.workingFolder = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetArguments(text, ARRAYSIZE(text)))) contents.arguments = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetIconLocation(text, ARRAYSIZE(text), &contents.iconIndex))) {
        contents.icon = text;
    }
    return contents;
}

}  // namespace testing_support
