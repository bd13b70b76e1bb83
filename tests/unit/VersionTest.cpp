#include "model/CTextString.h"
#include "platform/desktop/ModuleVersion.h"

#include <gtest/gtest.h>

TEST(Version, RunningProgramTellsItsVersion)
{
    CTextString version;
    ASSERT_TRUE(GetModuleVersionString(version));
    EXPECT_STREQ(version.GetData(), "1.2.0.1");
    EXPECT_EQ(version.GetCapacity(), 256);
}

TEST(Version, LargestPartsPrintUnsigned)
{
    CTextString version;
    ASSERT_TRUE(GetFileVersionString(VERSION_PROBE_MAX, version));
    EXPECT_STREQ(version.GetData(), "65535.0.1.65535");
}

TEST(Version, ProgramWithoutRecordLeavesTextAlone)
{
    CTextString version;
    char before[] = "X";
    version.Attach(before);
    EXPECT_FALSE(GetFileVersionString(VERSION_PROBE_BARE, version));
    EXPECT_STREQ(version.GetData(), "X");
    EXPECT_FALSE(GetFileVersionString("/nonexistent/program", version));
    EXPECT_FALSE(GetFileVersionString("/etc/hostname", version)) << "not a program file";
    EXPECT_STREQ(version.GetData(), "X");
}
