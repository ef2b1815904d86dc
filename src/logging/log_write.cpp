#include "logging/log_write.h"

#include <time.h>

#include <algorithm>

#include "logging/logger.h"
#include "win/full_path.h"
#include "win/handles.h"
#include "win/wide_format.h"

namespace {

constexpr wchar_t kEventSourceName[] = L"N4 Application";
constexpr DWORD kEventId = 5000;

// Holds the log's named mutex for one record. An abandoned mutex (its owner
// ended while holding it) counts as acquired.
class LogLock {
  public:
    explicit LogLock(HANDLE mutex) {
        if (mutex == nullptr) return;
        const DWORD wait = WaitForSingleObject(mutex, INFINITE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) held_ = mutex;
    }
    ~LogLock() {
        if (held_ != nullptr) ReleaseMutex(held_);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

  private:
    HANDLE held_ = nullptr;
};

bool WriteAll(HANDLE file, const void* data, size_t bytes) {
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes;
}

// Appends the record to the log file; a new or empty file first gets the
// byte-order mark and a line break, a file of an odd length a byte and a line
// break. The record's final LF, and only that one, is stored as CR LF.
void WriteToFile(const std::wstring& fileName, const std::wstring& record) {
    if (fileName.empty()) return;
    const std::wstring openName = ExtendedLengthPath(fileName);
    UniqueFileHandle file(CreateFileW(openName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file.Get(), LARGE_INTEGER{}, &end, FILE_END)) return;

    // A file cut at an odd byte (a crash or a full disk in the middle of a
    // record) would put every later record off by one byte, unreadable as
    // UTF-16: one byte completes the broken character, and the record starts
    // on a line of its own.
    if (end.QuadPart % 2 != 0 && !WriteAll(file.Get(), "", 1)) return;

    std::wstring text;
    text.reserve(record.size() + 3);
    if (end.QuadPart == 0) text += L"\xFEFF\r\n";
    if (end.QuadPart % 2 != 0) text += L"\r\n";
    if (!record.empty() && record.back() == L'\n') {
        text.append(record, 0, record.size() - 1);
        text += L"\r\n";
    } else {
        text += record;
    }
    WriteAll(file.Get(), text.data(), text.size() * sizeof(wchar_t));
}

// Prints the record as it is, without line-ending conversion: to a console as
// wide text, to a file or pipe as UTF-8.
void WriteToConsole(const std::wstring& record) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || record.empty()) return;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        WriteConsoleW(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        return;
    }
    const int bytes = WideCharToMultiByte(
        CP_UTF8, 0, record.data(), static_cast<int>(record.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, record.data(), static_cast<int>(record.size()), utf8.data(),
                        bytes, nullptr, nullptr);
    WriteAll(out, utf8.data(), utf8.size());
}

void ReportToEventLog(uint32_t flags, const wchar_t* message) {
    const uint32_t level = flags & LogLevelMask;
    const WORD type = level <= LogLevelError     ? EVENTLOG_ERROR_TYPE
                      : level == LogLevelWarning ? EVENTLOG_WARNING_TYPE
                                                 : EVENTLOG_INFORMATION_TYPE;
    UniqueEventSource source(RegisterEventSourceW(nullptr, kEventSourceName));
    if (!source) return;
    const wchar_t* strings[] = {message};
    ReportEventW(source.Get(), type, 0, kEventId, nullptr, 1, 0, strings, nullptr);
}

// Hands an error or warning to the outside listener: only when the listener has
// created its event. The block is written under the log's mutex, then the
// event is signalled.
void TriggerListener(const CLogger& logger, uint32_t flags, uint32_t code, const wchar_t* message,
                     size_t messageLength) {
    UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, logger.triggerEventName.c_str()));
    if (!event) return;
    LogSharedBlock* block = logger.sharedBlock;
    block->Flags = flags;
    block->Code = code;
    const size_t copied = std::min(messageLength, kLogSharedMessageChars);
    std::copy_n(message, copied, block->Message);
    std::fill(block->Message + copied, block->Message + kLogSharedMessageChars, L'\0');
    SetEvent(event.Get());
}

}  // namespace

std::wstring FormatLogHeader(uint32_t level, unsigned module, uint32_t code, uint32_t threadId,
                             uint32_t processId, uint32_t sessionId) {
    const wchar_t letter = LogLevelLetter(level);
    return sessionId != 0 ? FormatWide(L"[%c %02X/%08X/T%04X/P%04X/S%04X] ", letter, module & 0xFF,
                                       code, threadId, processId, sessionId)
                          : FormatWide(L"[%c %02X/%08X/T%04X/P%04X] ", letter, module & 0xFF, code,
                                       threadId, processId);
}

std::wstring FormatLogRecord(uint32_t flags, unsigned module, uint32_t code,
                             const std::wstring& message, size_t* messageStart) {
    std::wstring record;
    if ((module & 0xFF) != LogNoModule) {
        record = FormatLogHeader(flags & LogLevelMask, module, code, GetCurrentThreadId(),
                                 GetCurrentProcessId(), CLogger::Instance().sessionId);
    }

    const time_t now = time(nullptr);
    tm local{};
    localtime_s(&local, &now);
    record += FormatWide(L"%02d-%02d-%02d %02d:%02d:%02d - ", local.tm_mday, local.tm_mon + 1,
                         local.tm_year - 100, local.tm_hour, local.tm_min, local.tm_sec);
    if (messageStart != nullptr) *messageStart = record.size();
    record += message;
    return record;
}

int LogWriteV(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, va_list args) {
    const LogRoute route = RouteLogRecord(flags);
    if (!route.Any()) return 0;

    const std::wstring message = FormatWideV(format, args);
    size_t messageStart = 0;
    const std::wstring record = FormatLogRecord(flags, module, code, message, &messageStart);

    CLogger& logger = CLogger::Instance();
    LogLock lock(logger.mutex);
    if (route.file) {
        WriteToFile(logger.fileName, record);
        if (route.eventLog) ReportToEventLog(flags, record.c_str() + messageStart);
        if (route.listener && logger.sharedBlock != nullptr) {
            TriggerListener(logger, flags, code, record.c_str() + messageStart,
                            record.size() - messageStart);
        }
    }
    if (route.console) WriteToConsole(record);
    return static_cast<int>(record.size());
}

int LogWrite(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = LogWriteV(flags, module, code, format, args);
    va_end(args);
    return length;
}

int LogWriteDefault(uint32_t flags, uint32_t code, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = LogWriteV(flags, DefaultLogModule, code, format, args);
    va_end(args);
    return length;
}
