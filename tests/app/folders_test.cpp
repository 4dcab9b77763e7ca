// Folders handed over with "フォルダごと転送" ticked, through the program against pyftpdlib: the
// tree arrives byte for byte under the profile's folder, each remote folder is made or listed once,
// links to folders are not followed, a file that cannot be read fails alone, and a folder the
// server already has is asked about when the user wants that.
#include "uploadtest.h"

#include "app/ftpfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/prgrsfrm.h"

#include "eventloop.h"
#include "randombytes.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <sys/stat.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

const char* const FolderSettings = "[Default]\nTimeOut=10\nMakeDir=1\n[TextMode]\ntxt=1\n";

// The log's lines that begin with `command` and a space (or are the command alone).
std::vector<std::string> Sent(const std::string& log, const std::string& command) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        if (line == command || line.starts_with(command + " ")) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class FolderUpload : public TUploadTest {
  protected:
    void SetUp() override {
        TUploadTest::SetUp();
        WriteFile("wendup.ini", FolderSettings);
    }
};

} // namespace

TEST_F(FolderUpload, TreeWithSpacesAndJapaneseArrivesAndEachFolderIsListedOnce) {
    WriteProfile(TProfile().Dir("/up").Policy(0));
    RemoteFolder("up");
    const std::time_t before = now - 3600;
    const std::string text = "テキスト\r\n", big = RandomBytes(2 << 20, 21),
                      deep = RandomBytes(70000, 22);
    Local("写真 アルバム/a b.txt", "a b", before);
    Local("写真 アルバム/日本語.txt", text, before);
    Local("写真 アルバム/2024 夏/y.bin", big, before);
    Local("写真 アルバム/2024 夏/深い/x.bin", deep, before);
    fs::create_directories(local + "写真 アルバム/空");
    const std::string single = Local("single.bin", "s", before);

    std::set<QString> counts;
    const auto watch = [&](TStartupWindows& w) {
        // Empty until the first file starts.
        if (TProgress* p = w.Form1->CurrentProgress(); p && !p->FileCountLbl->text().isEmpty())
            counts.insert(p->FileCountLbl->text());
    };
    TRunResult run = Run({"/NOMSG", local + "写真 アルバム", single}, nullptr, 30000, watch);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(FailureLinesOf(run.errors), std::vector<std::string>{}) << run.errors;
    EXPECT_EQ(run.exitStatus, 0);
    // Spaces become underscores in folder names as in file names.
    EXPECT_EQ(Arrived("up/写真_アルバム/a_b.txt"), "a b");
    EXPECT_EQ(Arrived("up/写真_アルバム/日本語.txt"), text);
    EXPECT_EQ(Arrived("up/写真_アルバム/2024_夏/y.bin"), big);
    EXPECT_EQ(Arrived("up/写真_アルバム/2024_夏/深い/x.bin"), deep);
    EXPECT_TRUE(fs::is_directory(server.Root().toStdString() + "/up/写真_アルバム/空"));
    EXPECT_EQ(Arrived("up/single.bin"), "s");
    // Nothing anywhere else: the server's root holds the profile's folder alone.
    EXPECT_EQ(NamesIn(server.Root().toStdString()), std::set<std::string>{"up"});
    EXPECT_EQ(NamesIn(server.Root().toStdString() + "/up"),
              (std::set<std::string>{"写真_アルバム", "single.bin"}));
    EXPECT_EQ(run.results, std::vector<TFileResult>(5, TFileResult::Stored));
    // Every missing folder made once; none of them listed, since a folder just made is empty.
    EXPECT_EQ(Sent(run.log, "MKD"),
              (std::vector<std::string>{"MKD /up/写真_アルバム", "MKD /up/写真_アルバム/2024_夏",
                                        "MKD /up/写真_アルバム/2024_夏/深い",
                                        "MKD /up/写真_アルバム/空"}));
    EXPECT_EQ(Sent(run.log, "MLSD").size() + Sent(run.log, "LIST").size(), 1u) << run.log;
    EXPECT_EQ(Sent(run.log, "CWD").size(), 1u) << run.log; // the login enters the folder
    // The progress dialog counts the files of the whole run.
    ASSERT_FALSE(counts.empty());
    for (const QString& c : counts)
        EXPECT_TRUE(c.endsWith(" / 5 ファイル")) << c.toStdString();

    // Again, with one file changed since: each folder that is there is listed once, and only the
    // changed file goes.
    const std::string changed = RandomBytes(5000, 23);
    Local("写真 アルバム/2024 夏/深い/x.bin", changed, now + 120);
    run = Run({"/NOMSG", local + "写真 アルバム"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Arrived("up/写真_アルバム/2024_夏/深い/x.bin"), changed);
    EXPECT_EQ(Arrived("up/写真_アルバム/2024_夏/y.bin"), big);
    EXPECT_EQ(run.results,
              (std::vector<TFileResult>{TFileResult::SkippedByPolicy, TFileResult::SkippedByPolicy,
                                        TFileResult::SkippedByPolicy, TFileResult::Stored}));
    EXPECT_EQ(Sent(run.log, "MKD"), std::vector<std::string>{});
    EXPECT_EQ(Sent(run.log, "MLSD"),
              (std::vector<std::string>{"MLSD", "MLSD /up/写真_アルバム",
                                        "MLSD /up/写真_アルバム/2024_夏",
                                        "MLSD /up/写真_アルバム/2024_夏/深い"}));
}

TEST_F(FolderUpload, LinksToFoldersAreNotFollowedEvenInALoop) {
    WriteProfile(TProfile());
    Local("t/a.txt", "a");
    Local("t/in/b.txt", "b");
    fs::create_directory_symlink("..", local + "t/in/up");
    fs::create_directory_symlink(local + "t", local + "t/again");
    fs::create_symlink("a.txt", local + "t/link.txt");
    const TRunResult run = Run({"/NOMSG", local + "t"}, nullptr, 20000);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Arrived("t/a.txt"), "a");
    EXPECT_EQ(Arrived("t/in/b.txt"), "b");
    // A link to a file sends the file it leads to.
    EXPECT_EQ(Arrived("t/link.txt"), "a");
    EXPECT_EQ(NamesIn(server.Root().toStdString() + "/t"),
              (std::set<std::string>{"a.txt", "in", "link.txt"}));
    EXPECT_EQ(NamesIn(server.Root().toStdString() + "/t/in"), std::set<std::string>{"b.txt"});
    EXPECT_NE(run.log.find("フォルダへのリンクは転送しません: " + local + "t/again"),
              std::string::npos)
        << run.log;
}

TEST_F(FolderUpload, AFileThatCannotBeReadFailsAloneAndTheRestGoOn) {
    WriteProfile(TProfile());
    Local("t/a.txt", "a");
    Local("t/z.txt", "z");
    // Unreadable also for root: a FIFO is no file to send, and a link that leads nowhere.
    ASSERT_EQ(mkfifo((local + "t/fifo").c_str(), 0600), 0);
    fs::create_symlink("nowhere", local + "t/dangling");
    const TRunResult run = Run({"/NOMSG", local + "t"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("t/a.txt"), "a");
    EXPECT_EQ(Arrived("t/z.txt"), "z");
    EXPECT_FALSE(Arrived("t/fifo"));
    EXPECT_FALSE(Arrived("t/dangling"));
    const std::vector<std::string> lines = FailureLinesOf(run.errors);
    ASSERT_EQ(lines.size(), 2u) << run.errors;
    EXPECT_TRUE(lines[0].starts_with("wendup: " + local + "t/dangling: ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("wendup: " + local + "t/fifo: ")) << lines[1];
    EXPECT_EQ(run.results, (std::vector<TFileResult>{TFileResult::Stored, TFileResult::Failed,
                                                     TFileResult::Failed, TFileResult::Stored}));
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(FolderUpload, AFolderWhereTheServerHasAFileFailsWithWhatIsInside) {
    WriteProfile(TProfile());
    Remote("t", "a file");
    const std::string a = Local("t/a.txt", "a"), b = Local("t/in/b.txt", "b");
    const std::string after = Local("after.txt", "after");
    const TRunResult run = Run({"/NOMSG", local + "t", after});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("t"), "a file");
    EXPECT_EQ(Arrived("after.txt"), "after");
    EXPECT_EQ(
        FailureLinesOf(run.errors),
        (std::vector<std::string>{"wendup: " + a + ": サーバーに同じ名前のファイルがあります",
                                  "wendup: " + b + ": サーバーに同じ名前のファイルがあります"}));
    EXPECT_EQ(Sent(run.log, "MKD"), std::vector<std::string>{});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(FolderUpload, WithoutDirectoryCommandsAFolderFails) {
    WriteProfile(TProfile().NoPwd());
    const std::string a = Local("t/a.txt", "a");
    const TRunResult run = Run({"/NOMSG", local + "t"});
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(Arrived("t/a.txt"));
    EXPECT_FALSE(fs::exists(server.Root().toStdString() + "/t"));
    EXPECT_EQ(FailureLinesOf(run.errors),
              std::vector<std::string>{"wendup: " + local + "t: フォルダは転送できません"});
    EXPECT_EQ(run.exitStatus, 1);
}

// The folder question, for folders the server already has, once the user has picked
// "その都度確認する" by hand (the question about the first file is where that happens).
TEST_F(FolderUpload, FolderQuestionAnswers) {
    const struct {
        const char* what;
        int button; // of the folder question: はい, いいえ, すべて上書き, キャンセル
        QStringList dialogs;
        bool insideArrives, lastArrives;
        std::vector<TFileResult> results;
    } cases[] = {
        {"yes",
         1,
         {"Form2", "Form3", "Form3"},
         true,
         true,
         {TFileResult::Stored, TFileResult::Stored, TFileResult::Stored, TFileResult::Stored}},
        {"all",
         3,
         {"Form2", "Form3"},
         true,
         true,
         {TFileResult::Stored, TFileResult::Stored, TFileResult::Stored, TFileResult::Stored}},
        {"no",
         2,
         {"Form2", "Form3", "Form3"},
         false,
         true,
         {TFileResult::Stored, TFileResult::SkippedByUser, TFileResult::SkippedByUser,
          TFileResult::Stored}},
        {"cancel",
         4,
         {"Form2", "Form3"},
         false,
         false,
         {TFileResult::Stored, TFileResult::Failed, TFileResult::Failed, TFileResult::Failed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteProfile(TProfile().Policy(4));
        fs::remove_all(server.Root().toStdString());
        fs::create_directories(server.Root().toStdString());
        Remote("a.bin", "old");
        Remote("d/kept.bin", "kept");
        RemoteFolder("e");
        const std::string a = Local("a.bin", "new"), x = Local("d/x.bin", "x"),
                          y = Local("e/y.bin", "y"), f = Local("f.bin", "f");
        const TRunResult run = Run({"/NOMSG", a, local + "d", local + "e", f}, [&](QWidget* w) {
            if (auto* form2 = qobject_cast<TForm2*>(w)) {
                qobject_cast<TForm1*>(form2->parentWidget())->ComboBox2Change(4);
                form2->Button1->click();
            } else if (auto* form3 = qobject_cast<TForm3*>(w)) {
                const std::vector<QPushButton*> buttons = {form3->Button1, form3->Button2,
                                                           form3->Button3, form3->Button4};
                buttons[c.button - 1]->click();
            }
        });
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.dialogs, c.dialogs);
        EXPECT_EQ(Arrived("a.bin"), "new");
        EXPECT_EQ(Arrived("d/x.bin").has_value(), c.insideArrives);
        EXPECT_EQ(Arrived("e/y.bin").has_value(), c.insideArrives);
        EXPECT_EQ(Arrived("d/kept.bin"), "kept");
        EXPECT_EQ(Arrived("f.bin").has_value(), c.lastArrives);
        EXPECT_EQ(run.results, c.results);
        EXPECT_EQ(Sent(run.log, "MKD"), std::vector<std::string>{});
        EXPECT_EQ(run.exitStatus, c.button == 4 ? 1 : 0) << run.errors;
        fs::remove_all(local);
        fs::create_directories(local);
    }
}

TEST_F(FolderUpload, AFolderDroppedOnTheChooserGoesWithItsContents) {
    WriteProfile(TProfile());
    WriteFile("wendup.ini", "[Default]\nTimeOut=10\nMakeDir=1\nLastServer=test\n[TextMode]\n");
    Local("dropped/a.bin", "a");
    Local("dropped/in/b.bin", "b");
    QStringList shown;
    TModalAnswer modal([&](QWidget* w) {
        shown << w->objectName();
        w->close();
    });
    TStartupWindows windows(ParamsFromArguments({}));
    TForm1& form = *windows.Form1;
    form.show();
    ASSERT_EQ(form.Mode(), TForm1::ChooserMode);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(local + "dropped"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    ASSERT_TRUE(RunUntil([&] { return !form.isVisible(); }, 20000));
    EXPECT_EQ(shown, QStringList{});
    EXPECT_EQ(form.ExitStatus(), 0);
    DrainPostedEvents();
    EXPECT_EQ(Arrived("dropped/a.bin"), "a");
    EXPECT_EQ(Arrived("dropped/in/b.bin"), "b");
}

// The picker takes a folder through its own button: the folder it shows, or the one selected in it.
// Without whole folders it has no such button.
TEST_F(FolderUpload, ThePickerChoosesAFolder) {
    WriteProfile(TProfile());
    Local("shown/a.txt", "a");
    Local("parent/chosen/b.txt", "b");
    Local("parent/other/c.txt", "c");
    const struct {
        std::string shown, selected;
    } cases[] = {{local + "shown", ""}, {local + "parent", "chosen"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const TRunResult run = Run({}, [&](QWidget* w) {
            auto* picker = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(picker, nullptr);
            picker->setDirectory(QString::fromStdString(c.shown));
            // The picker reads a folder in the background: select once the entries are there.
            auto* view = picker->findChild<QListView*>("listView");
            ASSERT_NE(view, nullptr);
            ASSERT_TRUE(
                RunUntil([&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 5000));
            // Selected in the list, as a click does.
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < view->model()->rowCount(root); ++row) {
                const QModelIndex entry = view->model()->index(row, 0, root);
                if (entry.data().toString().toStdString() == c.selected)
                    view->selectionModel()->select(entry, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
            }
            auto* button = picker->findChild<QPushButton*>("FolderButton");
            ASSERT_NE(button, nullptr);
            button->click();
        });
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
    }
    EXPECT_EQ(Arrived("shown/a.txt"), "a");
    EXPECT_EQ(Arrived("chosen/b.txt"), "b");
    EXPECT_FALSE(Arrived("other/c.txt"));
    EXPECT_FALSE(Arrived("parent"));

    WriteFile("wendup.ini", "[Default]\nTimeOut=10\nMakeDir=0\n");
    bool buttonShown = true;
    const TRunResult run = Run({}, [&](QWidget* w) {
        auto* picker = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(picker, nullptr);
        buttonShown = picker->findChild<QPushButton*>("FolderButton") != nullptr;
        picker->reject();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(buttonShown);
}
