#include "app/settings.h"

#include "app/myinifile.h"
#include "scopedenv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

class Settings : public testing::Test {
  protected:
    void Write(const std::string& text) {
        std::ofstream(SettingsFilePath(), std::ios::binary) << text;
    }
    std::string Read() {
        std::ifstream f(SettingsFilePath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    QTemporaryDir dir_;
    ScopedEnv home_{"WENDUP_HOME", dir_.path().toStdString()};
};

TEST_F(Settings, FileLivesInTheProgramFolder) {
    EXPECT_EQ(SettingsFilePath(), dir_.path().toStdString() + "/wendup.ini");
}

TEST_F(Settings, TextModeFilesByExtension) {
    Write("[Default]\r\ntxt=1\r\n[textmode]\r\ntxt=1\r\nlog=0\r\nhtml=abc\r\n");
    const struct {
        const char* name;
        bool text;
    } cases[] = {
        {"a.TXT", true},           {"b.log", false},    {"README", false},
        {"trailing.", false},      {"d.tar.txt", true}, {"/home/me/x.Txt", true},
        {"dir.txt/readme", false}, {".txt", true},      {"e.html", false},
        {"f.txt.gz", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsTextModeFile(c.name), c.text) << c.name;
}

TEST_F(Settings, NoSettingsFileMeansTheUsualTextExtensions) {
    EXPECT_TRUE(IsTextModeFile("a.txt"));
    EXPECT_TRUE(IsTextModeFile("INDEX.HTML"));
    EXPECT_FALSE(IsTextModeFile("a.jpg"));
    EXPECT_EQ(ReadTextModeList(), (std::vector<std::string>{"txt", "htm", "html", "css", "js",
                                                            "csv", "xml", "php", "cgi", "pl"}));
    // A settings file without the section is read as it is: nothing goes as text.
    Write("[Default]\r\nProfile=\r\n");
    EXPECT_FALSE(IsTextModeFile("a.txt"));
    EXPECT_TRUE(ReadTextModeList().empty());
}

TEST_F(Settings, ReadListGivesTheTrueKeysInFileOrder) {
    Write("[TextMode]\r\nhtml=1\r\nlog=0\r\ntxt=1\r\nno-equals\r\nC=0x1\r\n");
    EXPECT_EQ(ReadTextModeList(), (std::vector<std::string>{"html", "txt", "C"}));
}

TEST_F(Settings, WriteListReplacesTheSectionAndKeepsTheOthers) {
    Write(
        "[Default]\r\nProfile=abc\r\n[TextMode]\r\nold=1\r\n[Restrictions]\r\nSavePassword=1\r\n");
    WriteTextModeList({"txt", "HTML", "c"});
    EXPECT_EQ(Read(), "[Default]\r\nProfile=abc\r\n\r\n[Restrictions]\r\nSavePassword=1\r\n\r\n"
                      "[TextMode]\r\ntxt=1\r\nHTML=1\r\nc=1\r\n\r\n");
    EXPECT_EQ(ReadTextModeList(), (std::vector<std::string>{"txt", "HTML", "c"}));
    EXPECT_TRUE(IsTextModeFile("index.html"));
    EXPECT_FALSE(IsTextModeFile("x.old"));

    WriteTextModeList({});
    EXPECT_TRUE(ReadTextModeList().empty());
}

TEST_F(Settings, WriteListCreatesTheSettingsFile) {
    WriteTextModeList({"txt"});
    EXPECT_EQ(Read(), "[TextMode]\r\ntxt=1\r\n\r\n");
}

} // namespace
