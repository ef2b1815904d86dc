#include <gtest/gtest.h>

#include <vector>

#include "logging/log_write.h"
#include "logging/logger.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// The blocks the listener process has recorded so far.
std::vector<LogSharedBlock> RecordedBlocks(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<LogSharedBlock> blocks(bytes.size() / sizeof(LogSharedBlock));
    memcpy(blocks.data(), bytes.data(), blocks.size() * sizeof(LogSharedBlock));
    return blocks;
}

bool HasCode(const std::vector<LogSharedBlock>& blocks, uint32_t code) {
    for (const auto& block : blocks) {
        if (block.Code == code) return true;
    }
    return false;
}

const LogSharedBlock* FindCode(const std::vector<LogSharedBlock>& blocks, uint32_t code) {
    for (const auto& block : blocks) {
        if (block.Code == code) return &block;
    }
    return nullptr;
}

// Codes of this test's own records: other test programs may log errors at the
// same time, and the listener sees theirs too.
constexpr uint32_t kInfoCode = 0x7E570001;
constexpr uint32_t kErrorCode = 0x7E570002;
constexpr uint32_t kWarningCode = 0x7E570003;

}  // namespace

TEST(LogListener, ReceivesErrorsAndWarningsOnly) {
    TempFolder folder;
    const std::wstring blocks = folder / L"blocks.bin";
    ChildProcess listener;
    ASSERT_TRUE(listener.Start(Quoted(BinFolder() + L"\\log_listener.exe") + L" " + Quoted(blocks) +
                               L" 1000 20000"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(blocks + L".ready"); }));

    const std::wstring log = folder / L"log.txt";
    LogInitialize(log.c_str());
    ASSERT_NE(CLogger::Instance().sharedBlock, nullptr);

    LogWrite(0x20000003, 0, kInfoCode, L"information is not for the listener\n");
    const std::wstring longMessage = std::wstring(300, L'a') + std::wstring(300, L'b');
    LogWrite(1, 0, kErrorCode, L"%s", longMessage.c_str());
    ASSERT_TRUE(WaitUntil([&] { return HasCode(RecordedBlocks(blocks), kErrorCode); }));
    LogWrite(3, 0, kInfoCode, L"nor is this\n");
    LogWrite(0x10000002, 0, kWarningCode, L"a warning\n");
    ASSERT_TRUE(WaitUntil([&] { return HasCode(RecordedBlocks(blocks), kWarningCode); }));
    listener.Terminate();

    const auto recorded = RecordedBlocks(blocks);
    EXPECT_FALSE(HasCode(recorded, kInfoCode));

    // 600 characters: the first 512 and no terminating zero; the flags word whole.
    const LogSharedBlock* error = FindCode(recorded, kErrorCode);
    EXPECT_EQ(std::wstring(error->Message, 512), longMessage.substr(0, 512));
    EXPECT_EQ(error->Flags, 1u);

    const LogSharedBlock* warning = FindCode(recorded, kWarningCode);
    EXPECT_EQ(std::wstring(warning->Message), L"a warning\n");
    EXPECT_EQ(warning->Flags, 0x10000002u);
    // A short message leaves the rest of the field zero-filled.
    for (size_t i = wcslen(warning->Message); i < 512; ++i) ASSERT_EQ(warning->Message[i], 0);

    // The file has the whole long message.
    EXPECT_NE(ReadUtf16File(log).find(longMessage), std::wstring::npos);
}

TEST(LogListener, WithoutListenerTheBlockStaysAsItWas) {
    TempFolder folder;
    const std::wstring log = folder / L"log.txt";
    LogInitialize(log.c_str());
    LogSharedBlock* block = CLogger::Instance().sharedBlock;
    ASSERT_NE(block, nullptr);
    // With no process holding the trigger event, nobody is told and the block
    // keeps what it had.
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, kLogTriggerEventName);
    if (event != nullptr) {
        CloseHandle(event);
        GTEST_SKIP() << "a listener is running in the prefix";
    }
    block->Code = 0x5A5A;
    block->Message[0] = L'Q';
    LogWrite(1, 0, 9, L"error nobody listens to\n");
    EXPECT_EQ(block->Code, 0x5A5Au);
    EXPECT_EQ(block->Message[0], L'Q');
    EXPECT_NE(ReadUtf16File(log).find(L"error nobody listens to"), std::wstring::npos);
}

TEST(LogInitialize, NamesObjectsOnceAndSwitchesFiles) {
    TempFolder folder;
    LogInitialize(nullptr);
    CLogger& logger = CLogger::Instance();
    EXPECT_TRUE(logger.fileName.empty());
    ASSERT_NE(logger.mutex, nullptr);
    ASSERT_NE(logger.sharedBlock, nullptr);
    EXPECT_EQ(logger.triggerEventName, kLogTriggerEventName);
    EXPECT_EQ(logger.sharedMemoryName, kLogSharedMemoryName);
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    EXPECT_EQ(logger.sessionId, session);

    // The mutex is the named one, shared with other processes of this log.
    HANDLE named = OpenMutexW(SYNCHRONIZE, FALSE, kLogBaseName);
    EXPECT_NE(named, nullptr);
    CloseHandle(named);

    const HANDLE mutex = logger.mutex;
    LogSharedBlock* const block = logger.sharedBlock;
    const std::wstring first = folder / L"first.txt";
    const std::wstring second = folder / L"second.txt";
    LogInitialize(first.c_str());
    LogWrite(3, 33, 1, L"one\n");
    LogInitialize(second.c_str());
    LogWrite(3, 33, 1, L"two\n");
    EXPECT_EQ(logger.mutex, mutex);
    EXPECT_EQ(logger.sharedBlock, block);
    EXPECT_NE(ReadUtf16File(first).find(L"one"), std::wstring::npos);
    EXPECT_EQ(ReadUtf16File(first).find(L"two"), std::wstring::npos);
    EXPECT_NE(ReadUtf16File(second).find(L"two"), std::wstring::npos);
}
