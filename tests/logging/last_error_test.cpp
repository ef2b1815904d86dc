#include <gtest/gtest.h>

#include "logging/last_error.h"
#include "logging/log_write.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Logs one line through LogWriteLastError with the given last error and
// returns its message part as stored in the file.
std::wstring LoggedWithError(const TempFolder& folder, DWORD error, const wchar_t* format,
                             const wchar_t* argument) {
    const std::wstring log = folder / (L"e" + std::to_wstring(error) + L".txt");
    LogInitialize(log.c_str());
    SetLastError(error);
    LogWriteLastError(1, 0, 105, format, argument);
    const std::wstring text = ReadUtf16File(log);
    return text.substr(text.find(L" - ") + 3);
}

}  // namespace

TEST(LogWriteLastError, AppendsTheSystemTextAndCode) {
    TempFolder folder;
    const wchar_t* format = L"Failed to delete file \"%s\"\n";

    EXPECT_EQ(LoggedWithError(folder, 0, format, L"C:\\x"),
              L"Failed to delete file \"C:\\x\".\r\n");
    EXPECT_EQ(LoggedWithError(folder, 574, format, L"C:\\x"),
              L"Failed to delete file \"C:\\x\" (An unhandled error has occurred while executing a "
              L"system function [0x0000023e])\r\n");
    // The system text ends in CR LF, which become two blanks.
    EXPECT_EQ(LoggedWithError(folder, 5, format, L"C:\\x"),
              L"Failed to delete file \"C:\\x\" (Access denied.   [0x00000005])\r\n");
    // A code without system text keeps the layout with an empty text.
    EXPECT_EQ(LoggedWithError(folder, 0x2000BEEF, format, L"C:\\x"),
              L"Failed to delete file \"C:\\x\" ( [0x2000beef])\r\n");
}

TEST(LogWriteLastError, MessageIsNeverAFormat) {
    TempFolder folder;
    // Percent signs in arguments come out as they are, and trailing white space
    // of every kind (here CR LF and a tab) is dropped before the error part.
    EXPECT_EQ(LoggedWithError(folder, 0, L"Failed to delete file \"%s\"\t\r\n", L"C:\\100%d%s%n"),
              L"Failed to delete file \"C:\\100%d%s%n\".\r\n");

    // The error is read before anything else: a failing call right before the
    // log call is what the line reports, also for the event-log routed flags.
    const std::wstring log = folder / L"first.txt";
    LogInitialize(log.c_str());
    DeleteFileW((folder / L"does not exist").c_str());
    LogWriteLastError(1, 0, 105, L"Failed to delete file \"%s\"\n", L"x");
    EXPECT_NE(ReadUtf16File(log).find(L"[0x00000002])\r\n"), std::wstring::npos);
}
