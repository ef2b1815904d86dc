#pragma once
// printf-style formatting of wide strings by the Windows rule: in a wide format
// "%s" takes a wide string and "%c" a wide character. (MinGW's C99 vswprintf
// reads "%s" as a narrow string; msvcrt's _vsnwprintf keeps the Windows rule.)
// The format is always a literal of the caller's: user text goes in arguments.

#include <cstdarg>
#include <string>

std::wstring FormatWideV(const wchar_t* format, va_list args);
std::wstring FormatWide(const wchar_t* format, ...);
