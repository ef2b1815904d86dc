#include "win/wide_format.h"

#include <stdio.h>

std::wstring FormatWideV(const wchar_t* format, va_list args) {
    if (format == nullptr) return {};
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) return {};

    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    va_list writing;
    va_copy(writing, args);
    const int written = _vsnwprintf(text.data(), text.size(), format, writing);
    va_end(writing);
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

std::wstring FormatWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWideV(format, args);
    va_end(args);
    return text;
}
