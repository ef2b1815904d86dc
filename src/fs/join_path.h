#pragma once
// Joining of path pieces with exactly one backslash between them.

#include <string>
#include <string_view>

// base and name with one backslash between them: a backslash is added when
// neither side has one and dropped when both have one. An empty name gives
// base, an empty base gives name. Nothing inside either piece is changed.
std::wstring JoinPath(std::wstring_view base, std::wstring_view name);

// JoinPath(JoinPath(a, b), c).
std::wstring JoinPath(std::wstring_view a, std::wstring_view b, std::wstring_view c);
