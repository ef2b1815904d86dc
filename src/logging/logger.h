#pragma once
// The process-wide logger: one CLogger, reached by the log calls without a handle.
//
// Records go to the log file (UTF-16LE), standard output, the Windows event log
// and an outside listener. Processes that log to the same file coordinate
// through a named mutex; errors and warnings are handed to the listener through
// a named shared block and a trigger event that the listener creates.

#include <windows.h>

#include <cstdint>
#include <string>

// The flags word of every log call.
constexpr uint32_t LogLevelMask = 0x0000000F;     // level 0-15, lower is more severe
constexpr uint32_t LogFlagEventLog = 0x10000000;  // also report to the Windows event log
constexpr uint32_t LogFlagConsole = 0x20000000;   // also print on standard output

constexpr uint32_t LogLevelError = 1;
constexpr uint32_t LogLevelWarning = 2;
constexpr uint32_t LogLevelInfo = 3;

// Module byte that means "no module": such records carry no bracketed header.
constexpr uint8_t LogNoModule = 0xFF;

// Names of the kernel objects shared with other processes of this log.
inline constexpr wchar_t kLogBaseName[] =
    L"N4Logging {5C3A91F7-2E4B-4d8c-B1A6-7F0E93D4C2A8}BasicClientLog";
inline constexpr wchar_t kLogTriggerEventName[] =
    L"Global\\N4Logging {5C3A91F7-2E4B-4d8c-B1A6-7F0E93D4C2A8}BasicClientLogtrigger";
inline constexpr wchar_t kLogSharedMemoryName[] =
    L"Global\\N4Logging {5C3A91F7-2E4B-4d8c-B1A6-7F0E93D4C2A8}BasicClientLogtrigger_MEM";

inline constexpr size_t kLogSharedMessageChars = 512;

// The 1032-byte block through which the latest error or warning reaches the
// outside listener. Its layout is shared with processes outside this system.
struct LogSharedBlock {
    wchar_t Message[kLogSharedMessageChars];  // offset 0: first 512 characters, zero-filled
    uint32_t Flags;                           // offset 1024: the whole flags word
    uint32_t Code;                            // offset 1028: the call's code
};
static_assert(sizeof(wchar_t) == 2);
static_assert(sizeof(LogSharedBlock) == 1032);
static_assert(offsetof(LogSharedBlock, Flags) == 1024);
static_assert(offsetof(LogSharedBlock, Code) == 1028);

class CLogger {
  public:
    std::wstring fileName;   // empty: no file output
    HANDLE mutex = nullptr;  // null: no exclusion between writers
    std::wstring triggerEventName;
    std::wstring sharedMemoryName;
    HANDLE sharedMemoryHandle = nullptr;
    LogSharedBlock* sharedBlock = nullptr;  // null: the listener is never triggered
    uint32_t fileThreshold = 5;
    uint32_t consoleThreshold = 3;
    uint32_t sessionId = 0;

    // The one instance of the process. Its handles live until the process ends.
    static CLogger& Instance();
};

// Module byte that LogWriteDefault passes; 0xFF (no module) until the
// application sets it.
extern uint8_t DefaultLogModule;

// Names the log file (a null name switches file output off; a path longer than
// 260 characters is cut), and on the first call creates or opens the named
// mutex and the listener's shared block. Reads the session id on every call.
// Always returns true; a kernel object that cannot be had only switches off what
// depends on it.
bool LogInitialize(const wchar_t* fileName);

// Which outputs a record of the given flags reaches under the fixed thresholds.
struct LogRoute {
    bool file = false;
    bool eventLog = false;
    bool listener = false;  // also needs the shared block and the listener's event
    bool console = false;
    bool Any() const { return file || console; }
};
LogRoute RouteLogRecord(uint32_t flags);

// The letter a level shows in the record header: C E W I D T, X above 5.
wchar_t LogLevelLetter(uint32_t level);
