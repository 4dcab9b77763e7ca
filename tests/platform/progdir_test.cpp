#include "platform/progdir.h"

#include "scopedenv.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Where the settings live for each combination of WENDUP_HOME, a portable copy, XDG_CONFIG_HOME
// and HOME. Paths are relative to a temporary folder; "exe" is the executable's folder.
struct TFolderCase {
    const char* what;
    const char* wendupHome;            // "" = unset
    bool portable;                     // "exe" holds a wendup.ini file
    std::optional<std::string> config; // XDG_CONFIG_HOME relative to the root; nullopt = unset
    const char* expected;              // relative to the root, "/" at the end
    bool created;                      // the folder is made (mode 0700) by the lookup
};

const TFolderCase folderCases[] = {
    {"WENDUP_HOME wins over a portable copy", "home", true, "cfg", "home/", false},
    {"a portable copy keeps its files beside it", "", true, "cfg", "exe/", false},
    {"otherwise XDG_CONFIG_HOME/wendup", "", false, "cfg", "cfg/wendup/", true},
    {"missing parents are made too", "", false, "deep/er/cfg", "deep/er/cfg/wendup/", true},
    {"without XDG_CONFIG_HOME, ~/.config/wendup", "", false, std::nullopt, "user/.config/wendup/",
     true},
    {"a relative XDG_CONFIG_HOME is ignored", "", false, "", "user/.config/wendup/", true},
};

class ProgramFolderRule : public testing::TestWithParam<TFolderCase> {};

TEST_P(ProgramFolderRule, Case) {
    const TFolderCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString() + "/";
    fs::create_directories(root + "exe");
    fs::create_directories(root + "user");
    if (c.portable) std::ofstream(root + "exe/wendup.ini") << "[Default]\r\n";
    ScopedEnv home("WENDUP_HOME", *c.wendupHome ? root + c.wendupHome : std::string());
    ScopedEnv user("HOME", root + "user");
    // An empty value stands for a relative one here: both are to be ignored.
    ScopedEnv config("XDG_CONFIG_HOME",
                     c.config ? (c.config->empty() ? std::string("rel/cfg") : root + *c.config)
                              : std::string());

    EXPECT_EQ(ProgramFolderOf(root + "exe"), root + c.expected) << c.what;
    struct stat st;
    if (c.created) {
        ASSERT_EQ(::stat((root + c.expected).c_str(), &st), 0) << c.what;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u) << c.what;
    } else {
        EXPECT_FALSE(fs::exists(root + "cfg")) << "no per-user folder for " << c.what;
    }
    EXPECT_FALSE(fs::exists(root + "rel")) << "a relative folder was made in the current folder";
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramFolderRule, testing::ValuesIn(folderCases),
                         [](const auto& info) { return "Row" + std::to_string(info.index); });

TEST(ProgramFolder, AFolderNamedWendupIniIsNoPortableCopy) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    fs::create_directories(root + "exe/wendup.ini");
    ScopedEnv home("WENDUP_HOME", "");
    ScopedEnv config("XDG_CONFIG_HOME", root + "cfg");
    EXPECT_EQ(ProgramFolderOf(root + "exe"), root + "cfg/wendup/");
}

TEST(ProgramFolder, AFolderThatCannotBeMadeIsStillTheAnswer) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    // A file where the folder should go: no one, not even root, can make the folder below it.
    std::ofstream(root + "cfg") << "not a folder";
    ScopedEnv home("WENDUP_HOME", "");
    ScopedEnv config("XDG_CONFIG_HOME", root + "cfg");
    EXPECT_EQ(ProgramFolderOf(root + "exe"), root + "cfg/wendup/");
    EXPECT_TRUE(fs::is_regular_file(root + "cfg"));
}

TEST(ProgramFolder, AnExistingFolderKeepsItsMode) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    fs::create_directories(root + "cfg/wendup");
    ASSERT_EQ(::chmod((root + "cfg/wendup").c_str(), 0750), 0);
    ScopedEnv home("WENDUP_HOME", "");
    ScopedEnv config("XDG_CONFIG_HOME", root + "cfg");
    EXPECT_EQ(ProgramFolderOf(root + "exe"), root + "cfg/wendup/");
    struct stat st;
    ASSERT_EQ(::stat((root + "cfg/wendup").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(ProgramFolder, TheRunningProgramUsesItsOwnFolderOnlyWhenPortable) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    ScopedEnv home("WENDUP_HOME", "");
    ScopedEnv config("XDG_CONFIG_HOME", root + "cfg");
    // The test program's folder holds no wendup.ini.
    ASSERT_FALSE(fs::exists(QCoreApplication::applicationDirPath().toStdString() + "/wendup.ini"));
    EXPECT_EQ(ProgramFolder(), root + "cfg/wendup/");
    ScopedEnv set("WENDUP_HOME", root + "h");
    EXPECT_EQ(ProgramFolder(), root + "h/");
}

} // namespace
