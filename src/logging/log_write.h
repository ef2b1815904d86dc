#pragma once
// The log calls. A record is "[L MM/CCCCCCCC/Tthread/Pprocess/Ssession] " (no
// header for module 0xFF, no "/S" part in session 0), then the local time as
// "dd-mm-yy hh:mm:ss - ", then the message expanded by the Windows wide printf
// rule. Each returns the record's length in characters, or 0 when the flags
// route it nowhere. A failing output is skipped silently.

#include <cstdarg>
#include <cstdint>
#include <string>

int LogWrite(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, ...);
int LogWriteV(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, va_list args);

// LogWrite with DefaultLogModule as the module byte.
int LogWriteDefault(uint32_t flags, uint32_t code, const wchar_t* format, ...);

// The bracketed record header, ending in a blank; the "/S" part only for a
// non-zero session.
std::wstring FormatLogHeader(uint32_t level, unsigned module, uint32_t code, uint32_t threadId,
                             uint32_t processId, uint32_t sessionId);

// Builds the record text of this thread and process at the current local time
// (header unless the module is 0xFF, timestamp, message) without writing it;
// messageStart receives the offset of the message part.
std::wstring FormatLogRecord(uint32_t flags, unsigned module, uint32_t code,
                             const std::wstring& message, size_t* messageStart);
