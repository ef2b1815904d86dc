#include "logging/last_error.h"

#include <cwctype>
#include <string>

#include "logging/log_write.h"
#include "win/handles.h"
#include "win/wide_format.h"

namespace {

constexpr DWORD kUnhandledException = 574;  // ERROR_UNHANDLED_EXCEPTION
constexpr wchar_t kUnhandledExceptionText[] =
    L"An unhandled error has occurred while executing a system function";

std::wstring SystemErrorText(DWORD error) {
    if (error == kUnhandledException) return kUnhandledExceptionText;
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocalMemory owned(buffer);
    if (length == 0 || buffer == nullptr) return {};
    std::wstring text(buffer, length);
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    return text;
}

}  // namespace

int LogWriteLastError(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, ...) {
    const DWORD error = GetLastError();

    va_list args;
    va_start(args, format);
    std::wstring message = FormatWideV(format, args);
    va_end(args);

    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    if (error == 0) {
        message += L".\n";
    } else {
        message += FormatWide(L" (%s [0x%08x])\n", SystemErrorText(error).c_str(), error);
    }
    return LogWrite(flags, module, code, L"%s", message.c_str());
}
