#include <gtest/gtest.h>

#include "logging/log_write.h"
#include "logging/logger.h"

TEST(LogRouting, DropsLevelsAboveFive) {
    EXPECT_EQ(LogWrite(6, 33, 1, L"dropped\n"), 0);
}
