#pragma once
// Test helpers for registry data written as the client writes it, and for
// pointing the current user's shell folders at folders of a test.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace cleanup_testing {

// Writes a value under root\path (the key is created), with raw data.
void SetRawValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                 const void* data, DWORD bytes);
// A REG_SZ value with its terminating NUL.
void SetStringValue(HKEY root, const std::wstring& path, const wchar_t* name,
                    const std::wstring& text);
void SetDwordValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value);
void CreateKey(HKEY root, const std::wstring& path);

bool KeyExists(HKEY root, const std::wstring& path);
bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name);
// The value as text (up to its first NUL), or nothing when it cannot be read.
std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& path,
                                            const wchar_t* name);
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path);
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);

// Points one shell folder of the current user (a value of
// HKCU\...\Explorer\User Shell Folders, such as "Desktop", "Programs" or
// "Startup") at a folder, and puts back both that value and the matching
// "Shell Folders" value when the object goes. Acts on the real
// HKEY_CURRENT_USER of the prefix: suites using it need the prefix_state lock.
class ShellFolderRedirect {
  public:
    ShellFolderRedirect(const wchar_t* valueName, const std::wstring& folder);
    ~ShellFolderRedirect();
    ShellFolderRedirect(const ShellFolderRedirect&) = delete;
    ShellFolderRedirect& operator=(const ShellFolderRedirect&) = delete;

  private:
    struct Saved {
        std::wstring keyPath;
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::wstring name_;
    std::vector<Saved> saved_;
};

}  // namespace cleanup_testing
