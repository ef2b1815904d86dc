#pragma once
// Absolute paths without a fixed-length buffer.

#include <string>

// The absolute form of path as GetFullPathNameW gives it, in a buffer as long as
// the answer needs; empty when the system cannot form it (or path is empty).
std::wstring FullPathName(const std::wstring& path);
