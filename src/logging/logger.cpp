#include "logging/logger.h"

#include <algorithm>

uint8_t DefaultLogModule = LogNoModule;

CLogger& CLogger::Instance() {
    static CLogger logger;
    return logger;
}

namespace {

// Creates the shared block, or opens the one a more privileged process made.
// Creating a named section in the global namespace needs a privilege that a
// standard user lacks; opening an existing one does not.
void AttachSharedBlock(CLogger& logger, SECURITY_ATTRIBUTES* security) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, security, PAGE_READWRITE, 0,
                                        sizeof(LogSharedBlock), logger.sharedMemoryName.c_str());
    if (mapping != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
        void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
        if (view != nullptr) {
            ZeroMemory(view, sizeof(LogSharedBlock));
            logger.sharedMemoryHandle = mapping;
            logger.sharedBlock = static_cast<LogSharedBlock*>(view);
            return;
        }
    }
    if (mapping != nullptr) CloseHandle(mapping);

    logger.sharedMemoryHandle =
        OpenFileMappingW(FILE_MAP_WRITE, FALSE, logger.sharedMemoryName.c_str());
    if (logger.sharedMemoryHandle != nullptr) {
        logger.sharedBlock = static_cast<LogSharedBlock*>(
            MapViewOfFile(logger.sharedMemoryHandle, FILE_MAP_WRITE, 0, 0, sizeof(LogSharedBlock)));
    }
}

}  // namespace

bool LogInitialize(const wchar_t* fileName) {
    CLogger& logger = CLogger::Instance();
    // Kept whole: a cut name would name another file. The file sink opens a
    // long one through its "\\?\" form.
    logger.fileName = fileName != nullptr ? fileName : L"";

    if (logger.mutex == nullptr) {
        // Every user gets full access: a null DACL, present.
        SECURITY_DESCRIPTOR descriptor;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES security{sizeof(security), &descriptor, FALSE};

        logger.mutex = CreateMutexW(&security, FALSE, kLogBaseName);
        logger.triggerEventName = kLogTriggerEventName;
        logger.sharedMemoryName = kLogSharedMemoryName;
        AttachSharedBlock(logger, &security);
    }

    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) logger.sessionId = session;
    return true;
}

LogRoute RouteLogRecord(uint32_t flags) {
    const CLogger& logger = CLogger::Instance();
    const uint32_t level = flags & LogLevelMask;
    LogRoute route;
    route.file = level <= logger.fileThreshold;
    route.eventLog = route.file && (flags & LogFlagEventLog) != 0;
    route.listener = route.file && (level == LogLevelError || level == LogLevelWarning);
    route.console = level <= logger.consoleThreshold && (flags & LogFlagConsole) != 0;
    return route;
}

wchar_t LogLevelLetter(uint32_t level) {
    static constexpr wchar_t kLetters[] = L"CEWIDT";
    return level < 6 ? kLetters[level] : L'X';
}
