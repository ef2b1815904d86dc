#pragma once
// Real-condition helpers for the file-system tests: a file held in use by
// another process, this process's temporary folder pointed elsewhere, and the
// prefix's list of deletions pending at restart.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs_testing {

// A file held by the file_holder program ("lock": open without sharing;
// "image": mapped as a program image) until the object goes.
class HeldFile {
  public:
    HeldFile(const wchar_t* mode, const std::wstring& path);
    bool IsHeld() const { return held_; }

  private:
    testing_support::ChildProcess holder_;
    bool held_ = false;
};

// TMP and TEMP of this process name folder while the object lives.
class TemporaryFolderOverride {
  public:
    explicit TemporaryFolderOverride(const std::wstring& folder);
    ~TemporaryFolderOverride();

  private:
    std::optional<std::wstring> oldTmp_;
    std::optional<std::wstring> oldTemp_;
};

// Keeps PendingFileRenameOperations as it was before the test.
class PendingRenamesSnapshot {
  public:
    PendingRenamesSnapshot();
    ~PendingRenamesSnapshot();

  private:
    std::optional<std::vector<BYTE>> saved_;
};

// True when the pending list holds a deletion (no new name) of path, in
// whatever NT form the system recorded it.
bool IsPendingDeletion(const std::wstring& path);

// Names of the entries matching pattern (FindFirstFileW syntax), "." and ".." left out.
std::vector<std::wstring> ListNames(const std::wstring& pattern);

// A path more than 260 characters long below base, its folders created.
std::wstring MakeLongFolder(const std::wstring& base);

// Removes the tree at path, whatever its depth, when the object goes (the
// long-path form reaches below MAX_PATH). Ignores failures.
class TreeRemoval {
  public:
    explicit TreeRemoval(std::wstring path) : path_(std::move(path)) {}
    ~TreeRemoval();
    TreeRemoval(const TreeRemoval&) = delete;
    TreeRemoval& operator=(const TreeRemoval&) = delete;

  private:
    std::wstring path_;
};

}  // namespace fs_testing
