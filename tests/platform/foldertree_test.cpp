// Walking a local folder for an upload: order, relative folders, links to folders left out (also
// the ones that lead back up), and entries that are not plain files kept for the upload to fail.
#include "platform/foldertree.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One entry as "F folder|path-below-root" for a file, "D folder|path-below-root+inside" for a
// folder, so that a whole walk compares with one literal list.
std::vector<std::string> Shape(const TFolderTree& tree, const std::string& root) {
    std::vector<std::string> shape;
    for (const TTreeEntry& e : tree.Entries) {
        const std::string below = e.Path.substr(root.size());
        std::string line = std::string(e.IsFolder ? "D " : "F ") + e.Folder + "|" + below;
        if (e.IsFolder) line += "+" + std::to_string(e.Inside);
        if (e.Unreadable) line += " unreadable";
        shape.push_back(line);
    }
    return shape;
}

class FolderTree : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        base = dir.path().toStdString() + "/";
    }
    void File(const std::string& name) {
        fs::create_directories(fs::path(base + name).parent_path());
        std::ofstream(base + name) << name;
    }
    QTemporaryDir dir;
    std::string base;
};

} // namespace

TEST_F(FolderTree, FolderFirstThenItsFilesThenItsSubfolders) {
    File("写真 アルバム/b.txt");
    File("写真 アルバム/a b.txt");
    File("写真 アルバム/2024 夏/深い/x.bin");
    File("写真 アルバム/2024 夏/y.bin");
    File("写真 アルバム/.hidden");
    fs::create_directories(base + "写真 アルバム/空");
    File("写真 アルバム/0 first/z.bin");
    const std::string root = base + "写真 アルバム";
    const TFolderTree tree = WalkFolder(root + "/"); // a trailing slash changes nothing
    const std::vector<std::string> expected = {
        "D |+10",
        "F 写真 アルバム|/.hidden",
        "F 写真 アルバム|/a b.txt",
        "F 写真 アルバム|/b.txt",
        "D 写真 アルバム|/0 first+1",
        "F 写真 アルバム/0 first|/0 first/z.bin",
        "D 写真 アルバム|/2024 夏+3",
        "F 写真 アルバム/2024 夏|/2024 夏/y.bin",
        "D 写真 アルバム/2024 夏|/2024 夏/深い+1",
        "F 写真 アルバム/2024 夏/深い|/2024 夏/深い/x.bin",
        "D 写真 アルバム|/空+0",
    };
    EXPECT_EQ(Shape(tree, root), expected);
    EXPECT_TRUE(tree.Links.empty());
}

TEST_F(FolderTree, LinksToFoldersAreLeftOutLinksToFilesAndOddEntriesAreKept) {
    File("t/a.txt");
    File("t/in/b.txt");
    fs::create_directory_symlink("..", base + "t/in/up");         // back up: a loop if followed
    fs::create_directory_symlink(".", base + "t/self");           // itself
    fs::create_directory_symlink(base + "t/in", base + "t/twin"); // a second way in
    fs::create_symlink("a.txt", base + "t/link.txt");
    fs::create_symlink("nowhere", base + "t/dangling");
    ASSERT_EQ(mkfifo((base + "t/fifo").c_str(), 0600), 0);
    const std::string root = base + "t";
    const TFolderTree tree = WalkFolder(root);
    const std::vector<std::string> expected = {
        "D |+6",         "F t|/a.txt", "F t|/dangling",    "F t|/fifo",
        "F t|/link.txt", "D t|/in+1",  "F t/in|/in/b.txt",
    };
    EXPECT_EQ(Shape(tree, root), expected);
    std::vector<std::string> links = tree.Links;
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, (std::vector<std::string>{root + "/in/up", root + "/self", root + "/twin"}));
}

TEST_F(FolderTree, NotAFolderGivesNothing) {
    File("plain.txt");
    EXPECT_TRUE(WalkFolder(base + "plain.txt").Entries.empty());
    EXPECT_TRUE(WalkFolder(base + "missing").Entries.empty());
    EXPECT_TRUE(WalkFolder("").Entries.empty());
    EXPECT_TRUE(WalkFolder("/").Entries.empty());
}

TEST_F(FolderTree, AFolderThatCannotBeReadIsMarked) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder whatever its mode";
    File("t/a.txt");
    File("t/closed/secret.txt");
    fs::permissions(base + "t/closed", fs::perms::none);
    const std::string root = base + "t";
    const TFolderTree tree = WalkFolder(root);
    fs::permissions(base + "t/closed", fs::perms::owner_all);
    EXPECT_EQ(Shape(tree, root),
              (std::vector<std::string>{"D |+2", "F t|/a.txt", "D t|/closed+0 unreadable"}));
}
