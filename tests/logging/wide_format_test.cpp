#include <gtest/gtest.h>

#include "win/wide_format.h"

// The formatter must follow the Windows wide printf rule, which MinGW's C99
// vswprintf does not: "%s" is a wide string and "%c" a wide character.
TEST(WideFormat, FollowsTheWindowsRule) {
    EXPECT_EQ(FormatWide(L"[%s|%c|%02X|0X%08x|%d]", L"wide", L'W', 0x21, 0x7e, -2147024891),
              L"[wide|W|21|0X0000007e|-2147024891]");
    EXPECT_EQ(FormatWide(L"100%% %lu %04X", 4294967295UL, 0x12345u), L"100% 4294967295 12345");
    EXPECT_EQ(FormatWide(L"%s", L"\x0416\x00e9\xd83d\xde00"), L"\x0416\x00e9\xd83d\xde00");
    EXPECT_EQ(FormatWide(L"no arguments"), L"no arguments");
    EXPECT_EQ(FormatWide(L""), L"");
}

TEST(WideFormat, LongResultsAreNotCut) {
    const std::wstring longText(70000, L'x');
    EXPECT_EQ(FormatWide(L"<%s>", longText.c_str()), L"<" + longText + L">");
}
