// The cached OS version record, against the version the system reports itself.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/os_version.h"

TEST(OsVersion, ReportsTheSystemVersionAndKeepsIt) {
    OSVERSIONINFOEXA first;
    std::memset(&first, 0xCC, sizeof(first));
    ASSERT_TRUE(GetOsVersionInfo(&first));
    EXPECT_EQ(first.dwOSVersionInfoSize, 156u);
    EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);

    OSVERSIONINFOA direct{};
    direct.dwOSVersionInfoSize = sizeof(direct);
    ASSERT_TRUE(GetVersionExA(&direct));
    EXPECT_EQ(first.dwMajorVersion, direct.dwMajorVersion);
    EXPECT_EQ(first.dwMinorVersion, direct.dwMinorVersion);
    EXPECT_EQ(first.dwBuildNumber, direct.dwBuildNumber);
    EXPECT_EQ(GetOsMajorVersion(), direct.dwMajorVersion);

    // Without a record the call only tells that the cache is filled.
    EXPECT_TRUE(GetOsVersionInfo(nullptr));
    OSVERSIONINFOEXA second{};
    ASSERT_TRUE(GetOsVersionInfo(&second));
    EXPECT_EQ(std::memcmp(&first, &second, sizeof(first)), 0);
}
