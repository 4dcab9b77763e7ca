// The files a command line names: options in their places, wildcards, hidden files and folders.
#include "apptest.h"

#include <filesystem>
#include <fstream>

namespace {

class FileList : public TAppTest {
  protected:
    void SetUp() override {
        TAppTest::SetUp();
        std::filesystem::create_directories("dir/sub.txt");
        std::filesystem::create_directories("dir/+first");
        for (const char* name : {"dir/a.txt", "dir/.hidden.txt", "dir/b.log", "dir/noext",
                                 "dir/c[1].txt", "dir/c1.txt", "dir/表.txt", "dir/写真😀.txt"})
            std::ofstream(name) << "x";
    }
};

} // namespace

TEST_F(FileList, ParametersToFiles) {
    // Names as the host keeps them, also those that Shift_JIS lacks; UTF-8 bytes sort 写 before 表.
    const std::string hyo = "dir/表.txt", photo = "dir/写真😀.txt";
    struct {
        TParams params;
        std::vector<std::string> files;
    } const cases[] = {
        // Hidden files are found; a folder that matches is skipped; sorted by name bytes.
        {{"dir/*.txt"}, {"dir/.hidden.txt", "dir/a.txt", "dir/c1.txt", "dir/c[1].txt", photo, hyo}},
        {{"dir/*.*"},
         {"dir/.hidden.txt", "dir/a.txt", "dir/b.log", "dir/c1.txt", "dir/c[1].txt", "dir/noext",
          photo, hyo}},
        {{"dir/写*"}, {photo}},
        {{"dir/?.log"}, {"dir/b.log"}},
        // A folder named whole is kept, so that the session can tell it was not sent; the folders
        // a pattern matches are passed over, also when one of them comes first.
        {{"dir"}, {"dir"}},
        {{"dir/sub.txt"}, {"dir/sub.txt"}},
        {{"dir/s*"}, {}},
        {{"dir/*i*"}, {"dir/.hidden.txt"}},
        // A name given whole is that file, brackets and all.
        {{"dir/c[1].txt"}, {"dir/c[1].txt"}},
        {{"dir/missing*.txt"}, {}},
        {{"/SERVER:x", "dir/a.txt", "dir/a.txt"}, {"dir/a.txt", "dir/a.txt"}},
        {{"dir/a.txt", "/nomsg", "dir/b.log"}, {"dir/a.txt", "dir/b.log"}},
        {{"/NOMSG", "dir/a.txt", "/NOMSG"}, {"dir/a.txt"}},
        {{"/SET", "dir/b.log"}, {"dir/b.log"}},
        {{"/SERVER:x"}, {}},
        {{"/clearkey"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> list;
        AddCommandLineFiles(c.params, list);
        EXPECT_EQ(list, c.files) << Param(c.params, 1);
    }

    std::vector<std::string> list{"kept"};
    const std::string absolute = std::filesystem::current_path().string() + "/dir/";
    AddMatchingFiles(absolute + "b*", list);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", absolute + "b.log"}));
}

TEST(CommandLine, FilesFromPickerOnlyWithoutFileParameters) {
    EXPECT_TRUE(FilesFromPicker({}));
    EXPECT_TRUE(FilesFromPicker({"/SERVER:x"}));
    EXPECT_TRUE(FilesFromPicker({"/server:"}));
    EXPECT_FALSE(FilesFromPicker({"/SET"}));
    EXPECT_FALSE(FilesFromPicker({"/clearkey"}));
    EXPECT_FALSE(FilesFromPicker({"/SERVER:x", "/NOMSG"}));
}
