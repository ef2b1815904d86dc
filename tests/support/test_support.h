#pragma once
// Helpers for the test programs: fresh folders, files, a per-test registry
// sandbox, and child processes started with an environment of the test's own.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// The folder that holds the running test program (C:\bin in the test prefix),
// where the stand-in programs lie too.
std::wstring BinFolder();

// A new empty folder for one test, removed with its content afterwards.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    // Path() + "\" + relative.
    std::wstring operator/(const std::wstring& relative) const;

  private:
    std::wstring path_;
};

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
// Writes the bytes, creating missing parent folders.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Removes a folder tree (test clean-up; ignores failures), long paths
// included; links in it are removed as themselves, never entered.
void RemoveTree(const std::wstring& path);

// The content of a UTF-16LE file without its byte-order mark.
std::wstring ReadUtf16File(const std::wstring& path);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Redirects HKEY_CURRENT_USER of this process to a fresh key for the lifetime of
// the object (RegOverridePredefKey); the key is deleted afterwards.
class RegistrySandbox {
  public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    // The sandbox key itself, as an open key of the real HKEY_CURRENT_USER.
    HKEY Key() const { return key_; }

  private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

// Environment changes for a child: a value, or std::nullopt to remove the variable.
using EnvironmentChanges = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

// A child process started with CreateProcessW; terminated (exit code 1) if it
// is still running when the object goes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    // commandLine is the whole command line (program first, quoted as needed).
    // stdoutFile, when given, receives the child's standard output and error.
    bool Start(const std::wstring& commandLine, const EnvironmentChanges& environment = {},
               const std::wstring& workingFolder = L"", const std::wstring& stdoutFile = L"");
    // Waits for the end; returns the exit code, or std::nullopt on time-out.
    std::optional<DWORD> Wait(DWORD timeoutMs = 120000);
    bool IsRunning() const;
    void Terminate();
    HANDLE Handle() const { return process_; }
    DWORD Id() const { return id_; }

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Starts a program and waits for it; the exit code, or std::nullopt when it
// could not start or did not end in time.
std::optional<DWORD> RunProgram(const std::wstring& commandLine,
                                const EnvironmentChanges& environment = {},
                                DWORD timeoutMs = 120000, const std::wstring& stdoutFile = L"");

// "path" in double quotes.
std::wstring Quoted(const std::wstring& path);

// Plants a folder link at link pointing at target (an existing folder). Under
// Wine, whose link calls create nothing, it is a symbolic link of the Linux
// side, made with ln through Wine's "\\?\unix" path and listed with
// FILE_ATTRIBUTE_REPARSE_POINT; on Windows a directory symbolic link. True
// once the link is there.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes such a link itself (under Wine with rm on the Linux side, since
// Wine's calls reach the target); what it points at stays.
void RemoveFolderLink(const std::wstring& link);

// Every file and folder under root, relative to it, sorted; folders end in "\".
// Reaches below MAX_PATH through the long-path form.
std::vector<std::wstring> ListTree(const std::wstring& root);

// What a link file holds, read back through a link object of its own without
// resolving it (COM must be initialised). loaded is the result of the load.
struct LinkContents {
    HRESULT loaded = E_FAIL;
    std::wstring target;
    std::wstring workingFolder;
    std::wstring arguments;
    std::wstring icon;
    int iconIndex = -1;
};
LinkContents ReadLink(const std::wstring& linkFile);

// Polls the condition every 20 ms until it holds or the time runs out.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
}

}  // namespace testing_support
