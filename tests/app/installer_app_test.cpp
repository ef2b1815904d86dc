#include <gtest/gtest.h>

#include "app/installer_app.h"

TEST(CommandLine, ProgramNameIsSkipped) {
    EXPECT_EQ(ArgumentsFromCommandLine(L"\"C:\\a b\\Uninstall.exe\" -i"), L"-i");
}
