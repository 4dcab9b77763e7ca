// MLSD lines from RFC 3659's examples and from the documentation of real servers; the expected
// times are those `date -u -d ... +%s` gives for the fact's UTC time.
#include "ftp/mlsd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::int64_t None = -1;

struct TMlsdCase {
    const char* line;
    bool entry;
    const char* name;
    bool folder;
    std::int64_t size;     // None: no size
    std::int64_t modified; // None: no time
};

TEST(ParseMlsdLine, RealLines) {
    const TMlsdCase cases[] = {
        // RFC 3659, 7.7.2: capitals in fact names and values; the folder itself and its parent are
        // no entries.
        {"Type=file;Size=25730;Modify=19940728095854;Perm=; capmux.tar.z", true, "capmux.tar.z",
         false, 25730, 775389534},
        {"Type=cdir;Modify=19811107085215;Perm=el; tmp", false, "", false, None, None},
        {"Type=pdir;Modify=19811107085215;Perm=el; ..", false, "", false, None, None},
        {"Type=dir;Modify=19811107085215;Perm=el; incoming", true, "incoming", true, None,
         373971135},
        // pyftpdlib's documentation.
        {"type=file;size=156;perm=r;modify=20071029155301;unique=8012; music.mp3", true,
         "music.mp3", false, 156, 1193673181},
        // ProFTPD: a name with a space, Unix facts.
        {"modify=20140321141005;perm=adfr;size=3;type=file;unique=FD00U1E1A43A;UNIX.group=1000;"
         "UNIX.mode=0644;UNIX.owner=1000; a b.txt",
         true, "a b.txt", false, 3, 1395411005},
        // ProFTPD: a symbolic link is a file to the same-file check.
        {"modify=20140321141005;perm=adfr;size=17;type=OS.unix=slink:/srv/site/index.html; "
         "index.html",
         true, "index.html", false, 17, 1395411005},
        // IIS: a folder whose name holds spaces and a semicolon; "sizd" is not a file's size.
        {"type=dir;modify=20090918164225;sizd=4096; Folder Name; two", true, "Folder Name; two",
         true, None, 1253292145},
        // Fractions of a second are dropped.
        {"type=file;size=0;modify=20150813224845.123; empty", true, "empty", false, 0, 1439506125},
        {"type=file;modify=20240229235959; leap", true, "leap", false, None, 1709251199},
        // No facts at all: the line starts with the space.
        {" bare name", true, "bare name", false, None, None},
        // Shift_JIS bytes of a name are kept as they are.
        {"type=file;size=5;modify=19700101000000; \x93\xfa\x96\x7b.txt", true,
         "\x93\xfa\x96\x7b.txt", false, 5, 0},
        // Facts that cannot be read are left out; the entry stays.
        {"type=file;size=-3;modify=20241301000000; bad", true, "bad", false, None, None},
        {"type=file;size=12x;modify=2024022923595; bad2", true, "bad2", false, None, None},
        {"type=file;size=1;modify=20240229236000; bad3", true, "bad3", false, 1, None},
        // No name, or facts without their ";": no entry.
        {"type=file;size=1;", false, "", false, None, None},
        {"type=file;size=1; ", false, "", false, None, None},
        {"type=file;size=1 name", false, "", false, None, None},
        {"", false, "", false, None, None},
    };
    for (const TMlsdCase& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<TMlsdEntry> entry = ParseMlsdLine(c.line);
        ASSERT_EQ(entry.has_value(), c.entry);
        if (!entry) continue;
        EXPECT_EQ(entry->Name, c.name);
        EXPECT_EQ(entry->IsDirectory, c.folder);
        EXPECT_EQ(entry->Size.value_or(None), c.size);
        EXPECT_EQ(entry->Modified.value_or(None), c.modified);
    }
}

// A line cut anywhere: inside the facts it names nothing; once the name has begun, the name is the
// part of it that came.
TEST(ParseMlsdLine, EveryCutOfARealLine) {
    const std::string line =
        "modify=20140321141005;perm=adfr;size=3;type=file;UNIX.mode=0644; a b.txt";
    const std::size_t nameAt = line.find("; ") + 2;
    for (std::size_t length = 0; length <= line.size(); ++length) {
        SCOPED_TRACE(length);
        const auto entry = ParseMlsdLine(std::string_view(line).substr(0, length));
        if (length <= nameAt) {
            EXPECT_FALSE(entry);
            continue;
        }
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->Name, line.substr(nameAt, length - nameAt));
        EXPECT_EQ(entry->Size, 3);
    }
}

} // namespace
