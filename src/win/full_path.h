#pragma once
// Absolute paths without a fixed-length buffer, and folder comparison.

#include <string>

// The absolute form of path as GetFullPathNameW gives it, in a buffer as long as
// the answer needs; empty when the system cannot form it (or path is empty).
std::wstring FullPathName(const std::wstring& path);

// A folder in the form that comparisons need: absolute, long names where the
// folder exists, backslashes only, no trailing separator except after a drive
// root ("C:\"). A bare drive "X:" is read as its root "X:\", never as the
// drive's current folder. Empty when the path is empty or cannot be formed.
std::wstring ComparableFolderPath(const std::wstring& folder);

// True when inner is outer or lies below it, both compared in their
// comparable forms without regard to letter case. False when either is empty.
bool IsSameOrInsideFolder(const std::wstring& inner, const std::wstring& outer);

// True when both name the same folder (comparable forms, letter case ignored).
bool IsSameFolder(const std::wstring& a, const std::wstring& b);
