// Soak of the log under load: 8 processes append 2,000 records each to one
// log file at the same time. Afterwards every record must be present once,
// whole, and in its writer's order, with one byte-order mark at the start.
// Prints the records per second of the whole run; exit code 1 when a record
// is missing, cut, doubled or out of order.
// Usage: log_soak.exe [processes] [records]   (a writer: log_soak.exe -write LOG ID RECORDS)

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <regex>
#include <string>
#include <vector>

#include "logging/log_write.h"
#include "logging/logger.h"

namespace {

int Write(const wchar_t* log, long id, long records) {
    LogInitialize(log);
    for (long i = 0; i < records; ++i) LogWrite(3, 33, 7, L"soak%ld #%ld\n", id, i);
    return 0;
}

std::wstring ReadUtf16(const std::wstring& path, bool& oneMark) {
    std::wstring text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    const DWORD size = GetFileSize(file, nullptr);
    text.resize(size / sizeof(wchar_t));
    DWORD read = 0;
    ReadFile(file, text.data(), size, &read, nullptr);
    CloseHandle(file);
    oneMark = !text.empty() && text[0] == 0xFEFF && text.find(L'\xFEFF', 1) == std::wstring::npos;
    return text.empty() ? text : text.substr(1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wcscmp(argv[1], L"-write") == 0) {
        return Write(argv[2], std::wcstol(argv[3], nullptr, 10), std::wcstol(argv[4], nullptr, 10));
    }
    const long processes = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 8;
    const long records = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 2000;

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring log = std::wstring(temp) + L"log_soak.txt";
    DeleteFileW(log.c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<PROCESS_INFORMATION> writers;
    for (long id = 0; id < processes; ++id) {
        std::wstring command = L"\"" + std::wstring(self) + L"\" -write \"" + log + L"\" " +
                               std::to_wstring(id) + L" " + std::to_wstring(records);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            std::printf("FAIL: writer %ld did not start (error %lu)\n", id, GetLastError());
            return 1;
        }
        CloseHandle(process.hThread);
        writers.push_back(process);
    }
    for (const PROCESS_INFORMATION& process : writers) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
    }
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;

    bool oneMark = false;
    const std::wstring text = ReadUtf16(log, oneMark);
    const std::wregex record(
        LR"(\[I 21/00000007/T[0-9A-F]{4,}/P[0-9A-F]{4,}/S[0-9A-F]{4,}\] \d\d-\d\d-\d\d \d\d:\d\d:\d\d - soak(\d+) #(\d+))");
    std::vector<long> next(static_cast<std::size_t>(processes), 0);
    long whole = 0, bad = 0;
    std::size_t at = text.rfind(L"\r\n", 0) == 0 ? 2 : 0;  // a new log starts with a line break
    while (at < text.size()) {
        std::size_t stop = text.find(L"\r\n", at);
        if (stop == std::wstring::npos) stop = text.size();
        const std::wstring line = text.substr(at, stop - at);
        at = stop + 2;
        std::wsmatch match;
        if (!std::regex_match(line, match, record)) {
            if (bad++ < 5) std::printf("FAIL: not a whole record: %ls\n", line.c_str());
            continue;
        }
        const long id = std::stol(match[1].str());
        const long index = std::stol(match[2].str());
        if (id >= processes || index != next[static_cast<std::size_t>(id)]) {
            if (bad++ < 5) std::printf("FAIL: out of order: %ls\n", line.c_str());
            continue;
        }
        ++next[static_cast<std::size_t>(id)];
        ++whole;
    }
    for (long id = 0; id < processes; ++id) {
        if (next[static_cast<std::size_t>(id)] != records) {
            std::printf("FAIL: writer %ld: %ld of %ld records\n", id,
                        next[static_cast<std::size_t>(id)], records);
            ++bad;
        }
    }
    if (!oneMark) {
        std::printf("FAIL: the log does not start with exactly one byte-order mark\n");
        ++bad;
    }
    std::printf("log soak: %ld processes x %ld records, %ld whole records in %.2f s, "
                "%.0f records/s%s\n",
                processes, records, whole, seconds, whole / seconds, bad == 0 ? "" : ", FAILED");
    DeleteFileW(log.c_str());
    return bad == 0 ? 0 : 1;
}
