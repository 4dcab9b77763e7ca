#include "platform/progdir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>

TEST(ProgramFolder, WendupHomeOverridesTheExecutableFolder) {
    ASSERT_EQ(setenv("WENDUP_HOME", "/tmp/wendup-home", 1), 0);
    EXPECT_EQ(ProgramFolder(), "/tmp/wendup-home/");
    ASSERT_EQ(setenv("WENDUP_HOME", "/tmp/wendup-home/", 1), 0);
    EXPECT_EQ(ProgramFolder(), "/tmp/wendup-home/");
    unsetenv("WENDUP_HOME");
}

TEST(ProgramFolder, WithoutOverrideItIsTheExecutableFolder) {
    unsetenv("WENDUP_HOME");
    const std::string expected = QCoreApplication::applicationDirPath().toStdString() + "/";
    EXPECT_EQ(ProgramFolder(), expected);
    EXPECT_NE(expected, "/");
}
