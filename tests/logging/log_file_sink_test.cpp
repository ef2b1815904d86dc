#include <gtest/gtest.h>

#include <regex>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// The bytes of a UTF-16LE text.
std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// The log file's bytes with every timestamp taken out (these records have no
// header), so that the line-ending rules can be compared byte for byte.
std::string MessagesOnly(const std::wstring& path) {
    static const std::wregex timestamp(LR"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d - )");
    return Utf16Bytes(std::regex_replace(ReadUtf16File(path), timestamp, L""));
}

}  // namespace

TEST(LogFileSink, NewFileGetsByteOrderMarkAndLineBreak) {
    TempFolder folder;
    const std::wstring log = folder / L"new.txt";
    LogInitialize(log.c_str());
    LogWrite(3, 0xFF, 0, L"first\n");
    const std::string bytes = ReadFileBytes(log);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xFF\xFE\x0D\x00\x0A\x00", 6));
    EXPECT_EQ(bytes.substr(bytes.size() - 14), Utf16Bytes(L"first\r\n").substr(0, 14));

    // An existing empty file gets them too; a file with data gets neither.
    const std::wstring empty = folder / L"empty.txt";
    WriteFileBytes(empty, "");
    LogInitialize(empty.c_str());
    LogWrite(3, 0xFF, 0, L"x\n");
    EXPECT_EQ(ReadFileBytes(empty).substr(0, 6), std::string("\xFF\xFE\x0D\x00\x0A\x00", 6));

    const std::wstring full = folder / L"full.txt";
    WriteFileBytes(full, "ab");
    LogInitialize(full.c_str());
    LogWrite(3, 0xFF, 0, L"x\n");
    const std::string fullBytes = ReadFileBytes(full);
    EXPECT_EQ(fullBytes.substr(0, 2), "ab");
    EXPECT_EQ(fullBytes.find("\xFF\xFE"), std::string::npos);

    // A log cut in the middle of a character: the next record is still whole
    // UTF-16, on a line of its own.
    const std::wstring cut = folder / L"cut.txt";
    WriteFileBytes(cut, Utf16Bytes(L"\xFEFF\r\nrecord cut sh").substr(0, 27));
    LogInitialize(cut.c_str());
    LogWrite(3, 0xFF, 0, L"next\n");
    const std::string cutBytes = ReadFileBytes(cut);
    ASSERT_EQ(cutBytes.size() % 2, 0u);
    EXPECT_EQ(cutBytes.substr(28, 4), Utf16Bytes(L"\r\n"));
    EXPECT_TRUE(ReadUtf16File(cut).ends_with(L" - next\r\n"));
}

TEST(LogFileSink, OnlyTheFinalLineFeedBecomesCrLf) {
    TempFolder folder;
    const std::wstring log = folder / L"endings.txt";
    LogInitialize(log.c_str());
    LogWrite(3, 0xFF, 0, L"lf\n");
    LogWrite(3, 0xFF, 0, L"crlf\r\n");
    LogWrite(3, 0xFF, 0, L"inner\nlf\n");
    LogWrite(3, 0xFF, 0, L"none");
    LogWrite(3, 0xFF, 0, L"next\n");
    EXPECT_EQ(MessagesOnly(log),
              Utf16Bytes(L"\r\nlf\r\ncrlf\r\r\ninner\nlf\r\nnone") + Utf16Bytes(L"next\r\n"));
}

TEST(LogFileSink, LongPathIsWrittenWholeAndUnwritableFileIsSkipped) {
    // A path past 260 characters is never cut (the cut name would be another
    // file): the records land in the file the whole path names.
    TempFolder folder;
    const std::wstring deep = folder / (std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e'));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder / std::wstring(120, L'd')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    const std::wstring longPath = deep + L"\\HLXBasicClientLog.txt";
    ASSERT_GT(longPath.size(), 260u);
    LogInitialize(longPath.c_str());
    EXPECT_EQ(CLogger::Instance().fileName, longPath);
    EXPECT_GT(LogWrite(3, 33, 1, L"deep record\n"), 0);
    EXPECT_NE(ReadUtf16File(L"\\\\?\\" + longPath).find(L"deep record\r\n"), std::wstring::npos);
    EXPECT_EQ(ListTree(deep), std::vector<std::wstring>{L"HLXBasicClientLog.txt"});

    // A log file in a folder that does not exist: nothing is written, no failure.
    const std::wstring missing = folder / L"no such folder\\log.txt";
    LogInitialize(missing.c_str());
    EXPECT_GT(LogWrite(1, 33, 1, L"error\n"), 0);
    EXPECT_FALSE(FileExists(missing));

    // A file held open by another writer without sharing write: skipped.
    const std::wstring held = folder / L"held.txt";
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LogInitialize(held.c_str());
    EXPECT_GT(LogWrite(3, 33, 1, L"skipped\n"), 0);
    CloseHandle(holder);
    EXPECT_EQ(ReadFileBytes(held), "");
}
