#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <thread>
#include <vector>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Splits the log text into its lines (CR LF separated).
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t pos = 0;
    for (size_t end; (end = text.find(L"\r\n", pos)) != std::wstring::npos; pos = end + 2) {
        lines.push_back(text.substr(pos, end - pos));
    }
    if (pos < text.size()) lines.push_back(text.substr(pos));
    return lines;
}

}  // namespace

TEST(LogConcurrency, ProcessesAppendWholeRecordsToOneFile) {
    TempFolder folder;
    const std::wstring log = folder / L"shared.txt";
    constexpr int kProcesses = 4;
    constexpr int kRecords = 500;

    std::vector<ChildProcess> writers(kProcesses);
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_TRUE(writers[i].Start(Quoted(BinFolder() + L"\\log_writer.exe") + L" " +
                                     Quoted(log) + L" " + std::to_wstring(kRecords) +
                                     L" 3 7 writer" + std::to_wstring(i)));
    }
    for (auto& writer : writers) ASSERT_TRUE(writer.Wait(180000).has_value());

    const std::string bytes = ReadFileBytes(log);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.find("\xFF\xFE", 2) % 2 == 0 ? bytes.find("\xFF\xFE", 2) : std::string::npos,
              std::string::npos)
        << "a second byte-order mark";

    const auto lines = Lines(ReadUtf16File(log));
    ASSERT_EQ(lines.size(), 1u + kProcesses * kRecords);
    EXPECT_EQ(lines[0], L"");
    const std::wregex record(
        LR"(\[I 21/00000007/T[0-9A-F]{4,}/P[0-9A-F]{4,}/S[0-9A-F]{4,}\] \d\d-\d\d-\d\d \d\d:\d\d:\d\d - writer(\d) #(\d+))");
    std::map<int, int> nextIndex;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, record)) << ToUtf8(lines[i]);
        // Each writer's records stay in its own order.
        const int writer = std::stoi(match[1].str());
        EXPECT_EQ(std::stoi(match[2].str()), nextIndex[writer]++);
    }
    for (int i = 0; i < kProcesses; ++i) EXPECT_EQ(nextIndex[i], kRecords);
}

TEST(LogConcurrency, ThreadsOfOneProcessDoNotInterleave) {
    TempFolder folder;
    const std::wstring log = folder / L"threads.txt";
    LogInitialize(log.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::wstring payload(200, static_cast<wchar_t>(L'a' + t));
            for (int i = 0; i < 100; ++i) LogWrite(3, 33, 1, L"%s\n", payload.c_str());
        });
    }
    for (auto& thread : threads) thread.join();
    const auto lines = Lines(ReadUtf16File(log));
    ASSERT_EQ(lines.size(), 401u);
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::wstring message = lines[i].substr(lines[i].find(L" - ") + 3);
        ASSERT_EQ(message, std::wstring(200, message[0])) << "line " << i;
    }
}
