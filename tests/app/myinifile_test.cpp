#include "app/myinifile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class IniFile : public testing::Test {
  protected:
    std::string Path(const char* name = "test.ini") const {
        return dir_.filePath(name).toStdString();
    }

    void Write(const std::string& text, const char* name = "test.ini") const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    std::string Read(const char* name = "test.ini") const {
        std::ifstream f(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir_.path().toUtf8().constData())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(IniFile, LoadingKeepsSectionLinesAndDropsTheRest) {
    Write("orphan=1\r\n[A]\rk1=v1\n\n; comment\r\nk2= spaced value \r\n"
          "[ B ]\r\n  indented=1\r\n[]\r\nx=y\r\n[\r\nnot]=header\r\n");
    const TMyMemIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("A", "orphan", "none"), "none");
    EXPECT_EQ(ini.ReadString("A", "k1", ""), "v1");
    EXPECT_EQ(ini.ReadString("A", "k2", ""), " spaced value ");
    EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"k1", "k2"}));
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_EQ(ini.ReadString(" B ", "  indented", ""), "1");
    EXPECT_EQ(ini.ReadString("", "x", ""), "y");
    EXPECT_EQ(ini.ReadSection(""), (std::vector<std::string>{"x", "", "not]"}));
}

TEST_F(IniFile, LookupIgnoresCaseAndTheFirstMatchWins) {
    Write("[textmode]\r\nTXT=1\r\ntxt=0\r\ntxt =0\r\nlog=a=b\r\n[TextMode]\r\nzip=1\r\n"
          "[\x83\x41]\r\nk=katakana a\r\n");
    const TMyMemIniFile ini(Path());
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"TextMode", "txt", "1"},
        {"TEXTMODE", "Txt", "1"},
        {"textmode", "txt ", "0"},
        {"TextMode", "log", "a=b"},
        {"TextMode", "zip", "-"}, // the second [TextMode] is
                                  // hidden
        {"\x83\x41", "k", "katakana a"},
        {"\x83\x61", "k", "-"}, // another character, though its
                                // second byte differs only in case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "-"), c.value);
    }
}

TEST_F(IniFile, NumbersAndBooleans) {
    Write("[N]\r\ndec=42\r\nneg=-7\r\nplus=+5\r\nhex=0x1F\r\nHEX=0XfF\r\nspace= 3\r\nword=abc\r\n"
          "tail=12abc\r\nhuge=99999999999\r\nempty=\r\nbare0x=0x\r\nzero=0\r\ntwo=2\r\n");
    const TMyMemIniFile ini(Path());
    const struct {
        const char* key;
        int value;
    } ints[] = {{"dec", 42},   {"neg", -7},    {"plus", 5},    {"hex", 31},
                {"space", -1}, {"word", -1},   {"tail", -1},   {"huge", -1},
                {"empty", -1}, {"bare0x", -1}, {"missing", -1}};
    for (const auto& c : ints)
        EXPECT_EQ(ini.ReadInteger("N", c.key, -1), c.value) << c.key;
    EXPECT_FALSE(ini.ReadBool("N", "zero", true));
    EXPECT_TRUE(ini.ReadBool("N", "two", false));
    EXPECT_TRUE(ini.ReadBool("N", "word", true));
    EXPECT_FALSE(ini.ReadBool("N", "word", false));
}

TEST_F(IniFile, EveryChangeRewritesTheWholeImage) {
    Write("; settings\r\n\r\n[Default]\nProfile=abc\nTimeOut=30\n\n[Other]\nx=1\n");
    TMyMemIniFile ini(Path());
    ini.WriteString("default", "profile", "xyz");
    EXPECT_EQ(Read(), "[Default]\r\nprofile=xyz\r\nTimeOut=30\r\n\r\n[Other]\r\nx=1\r\n\r\n");
    ini.WriteInteger("New", "n", -12);
    ini.WriteBool("New", "b", true);
    ini.WriteBool("Other", "x", false);
    EXPECT_EQ(Read(), "[Default]\r\nprofile=xyz\r\nTimeOut=30\r\n\r\n[Other]\r\nx=0\r\n\r\n"
                      "[New]\r\nn=-12\r\nb=1\r\n\r\n");
    ini.DeleteKey("DEFAULT", "timeout");
    ini.EraseSection("other");
    EXPECT_EQ(Read(), "[Default]\r\nprofile=xyz\r\n\r\n[New]\r\nn=-12\r\nb=1\r\n\r\n");
    EXPECT_EQ(TMyMemIniFile(Path()).ReadInteger("new", "N", 0), -12);
}

TEST_F(IniFile, ErasingRemovesEverySectionOfTheName) {
    Write("[T]\r\na=1\r\n[t]\r\nb=1\r\n[U]\r\n");
    TMyMemIniFile ini(Path());
    ini.EraseSection("T");
    EXPECT_FALSE(ini.SectionExists("t"));
    EXPECT_EQ(Read(), "[U]\r\n\r\n");
}

TEST_F(IniFile, ReadingAMissingFileGivesDefaultsAndCreatesNothing) {
    const TMyMemIniFile ini(Path("absent.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("S", "k", 30), 30);
    EXPECT_TRUE(ini.ReadSection("S").empty());
    EXPECT_TRUE(Entries().empty());
}

TEST_F(IniFile, ValuesThatWouldCorruptTheFileAreRefused) {
    Write("[S]\r\nk=v\r\n");
    TMyMemIniFile ini(Path());
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"S", "k", "two\r\nlines"}, {"S", "k", "cr\r"}, {"S\n[T]", "k", "v"},
        {"S", "a=b", "v"},          {"S", ";k", "v"},   {"S", "[k", "v]"},
    };
    for (const auto& c : cases)
        EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), std::invalid_argument);
    EXPECT_EQ(Read(), "[S]\r\nk=v\r\n");
    ini.WriteString("S", "[k", "v");
    EXPECT_EQ(TMyMemIniFile(Path()).ReadString("S", "[k", ""), "v");
}

TEST_F(IniFile, AFileThatCannotBeWrittenRaisesAnErrorWithItsPath) {
    const std::string path = Path("no-such-folder/x.inf");
    TMyMemIniFile ini(path);
    try {
        ini.WriteString("Server", "server", "host");
        FAIL() << "no error";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(e.Path, path);
    }
}

TEST_F(IniFile, AFailedWriteLeavesTheOldFileWhole) {
    const std::string old = "[Server]\r\nserver=ftp.example.org\r\nport=21\r\n\r\n";
    Write(old);
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    TMyMemIniFile ini(Path());

    // The disk fills up: no file may grow beyond 200 bytes while the image is written.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        ini.WriteString("Server", "comment", std::string(1000, 'x'));
    } catch (const EIniFileError& e) {
        raised = e.Path == Path();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised);
    EXPECT_EQ(Read(), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"test.ini"}) << "no temporary file is left";

    // The next write succeeds and keeps the file's permissions.
    ini.WriteString("Server", "port", "2121");
    EXPECT_EQ(TMyMemIniFile(Path()).ReadString("Server", "comment", ""), std::string(1000, 'x'));
    struct stat st;
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"test.ini"});
}

TEST_F(IniFile, ALinkedFileStaysALink) {
    Write("[S]\r\nk=old\r\n", "target.ini");
    ASSERT_EQ(::symlink("target.ini", Path("link.ini").c_str()), 0);
    TMyMemIniFile(Path("link.ini")).WriteString("S", "k", "new");
    struct stat st;
    ASSERT_EQ(::lstat(Path("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Read("target.ini"), "[S]\r\nk=new\r\n\r\n");
}

} // namespace
