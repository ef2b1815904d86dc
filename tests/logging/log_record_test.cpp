#include <gtest/gtest.h>

#include <regex>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "support/test_support.h"
#include "win/wide_format.h"

using namespace testing_support;

TEST(LogRecord, HeaderLayout) {
    // With a session, and module/code/ids printed as upper-case hexadecimal.
    EXPECT_EQ(FormatLogHeader(3, 33, 1, 0x1A2C, 0xF3C, 1), L"[I 21/00000001/T1A2C/P0F3C/S0001] ");
    // Session 0 has no "/S" part.
    EXPECT_EQ(FormatLogHeader(1, 0, 105, 0x24, 0x20, 0), L"[E 00/00000069/T0024/P0020] ");
    // Ids that need more than four digits print all of them.
    EXPECT_EQ(FormatLogHeader(2, 0xFF, 0xDEADBEEF, 0x12345, 0xABCDEF, 0x10000),
              L"[W FF/DEADBEEF/T12345/PABCDEF/S10000] ");
    // Only the low byte of the module counts.
    EXPECT_EQ(FormatLogHeader(3, 0x121, 0, 1, 2, 0), L"[I 21/00000000/T0001/P0002] ");
    // Level letters.
    std::wstring letters;
    for (uint32_t level = 0; level < 16; ++level) letters += LogLevelLetter(level);
    EXPECT_EQ(letters, L"CEWIDTXXXXXXXXXX");
}

TEST(LogRecord, RecordOfThisThreadAndTime) {
    LogInitialize(nullptr);
    SYSTEMTIME before;
    GetLocalTime(&before);
    size_t messageStart = 0;
    const std::wstring record =
        FormatLogRecord(3, 33, 1, L"Installer set to Install\r\n", &messageStart);
    SYSTEMTIME after;
    GetLocalTime(&after);

    const uint32_t session = CLogger::Instance().sessionId;
    const std::wstring header =
        FormatLogHeader(3, 33, 1, GetCurrentThreadId(), GetCurrentProcessId(), session);
    ASSERT_EQ(record.substr(0, header.size()), header);
    auto stamp = [](const SYSTEMTIME& t) {
        return FormatWide(L"%02d-%02d-%02d %02d:%02d:%02d - ", t.wDay, t.wMonth, t.wYear - 2000,
                          t.wHour, t.wMinute, t.wSecond);
    };
    const std::wstring timestamp = record.substr(header.size(), messageStart - header.size());
    EXPECT_TRUE(timestamp == stamp(before) || timestamp == stamp(after)) << ToUtf8(timestamp);
    EXPECT_EQ(record.substr(messageStart), L"Installer set to Install\r\n");

    // Module 0xFF: no header, the record starts with the timestamp.
    const std::wstring bare = FormatLogRecord(3, 0xFF, 1, L"text", &messageStart);
    EXPECT_TRUE(
        std::regex_match(ToUtf8(bare), std::regex(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d - text)")))
        << ToUtf8(bare);
    EXPECT_EQ(messageStart, bare.size() - 4);
}

TEST(LogRouting, LevelsAndFlags) {
    TempFolder folder;
    const std::wstring log = folder / L"route.txt";
    LogInitialize(log.c_str());

    // Level 6 and above go nowhere, with or without the console bit.
    EXPECT_EQ(LogWrite(6, 33, 1, L"dropped\n"), 0);
    EXPECT_EQ(LogWrite(0x20000006, 33, 1, L"dropped\n"), 0);
    EXPECT_FALSE(FileExists(log));

    // Console output captured through a file as standard output.
    const std::wstring consoleFile = folder / L"console.txt";
    HANDLE console = CreateFileW(consoleFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
    HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    const int infoLength = LogWrite(0x20000003, 33, 2, L"to file and console\n");
    const int debugLength = LogWrite(0x20000004, 33, 3, L"debug to file only\n");
    const int traceLength = LogWrite(5, 33, 4, L"trace to file\n");
    SetStdHandle(STD_OUTPUT_HANDLE, previous);
    CloseHandle(console);

    EXPECT_GT(infoLength, 0);
    EXPECT_GT(debugLength, 0);
    EXPECT_GT(traceLength, 0);
    const std::wstring text = ReadUtf16File(log);
    const std::string printed = ReadFileBytes(consoleFile);
    // The console gets the identical record, its line ending exactly as given.
    const std::wstring firstRecord = text.substr(2, text.find(L"\r\n", 2) - 2) + L"\n";
    EXPECT_EQ(printed, ToUtf8(firstRecord));
    EXPECT_EQ(static_cast<size_t>(infoLength), firstRecord.size());
    EXPECT_NE(text.find(L"[D 21/00000003/"), std::wstring::npos);
    EXPECT_NE(text.find(L"[T 21/00000004/"), std::wstring::npos);
    EXPECT_EQ(printed.find("debug"), std::string::npos);
}

TEST(LogRouting, BeforeInitializationNoFileButLength) {
    // A process that never starts the logger: the record still reaches the
    // console, and the call returns its length (the helper's exit code).
    TempFolder folder;
    const std::wstring out = folder / L"out.txt";
    const auto length = RunProgram(
        Quoted(BinFolder() + L"\\log_writer.exe") + L" none 1 20000003 5 \"before start\"", {},
        60000, out);
    ASSERT_TRUE(length.has_value());
    const std::string printed = ReadFileBytes(out);
    // The session is not known before the start: no "/S" part.
    EXPECT_TRUE(std::regex_match(
        printed, std::regex(R"(\[I 21/00000005/T[0-9A-F]{4,}/P[0-9A-F]{4,}\] \d\d-\d\d-\d\d )"
                            R"(\d\d:\d\d:\d\d - before start #0\n)")))
        << printed;
    EXPECT_EQ(*length, FromUtf8(printed).size());
}
