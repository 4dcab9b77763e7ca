// The rename dialog: its rows from UNIX and VMS listings, the file-type filters, sorting by each
// column both ways, and the question before a listed name is taken.
#include "dialogs/controls.h"
#include "dialogs/savasfrm.h"
#include "modal.h"
#include "qstringprint.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Names sort alike in every locale: lower case, distinct first letters.
const std::vector<std::string> UnixListing = {
    "total 6",
    "drwxr-xr-x  2 u  g   512 Jan  5 12:34 .",
    "drwxr-xr-x  2 u  g   512 Jan  5 12:34 ..",
    "drwxr-xr-x  2 u  g   512 Jan  5 12:34 images",
    "-rw-r--r--  1 u  g   100 Feb 10  2020 index.html",
    "-rw-r--r--  1 u  g     9 Mar  1 09:00 readme.txt",
    "-rw-r--r--  1 u  g    10 Apr  2 10:00 logo.GIF",
    "-rw-r--r--  1 u  g  2048 May  3 11:00 notes",
    "lrwxrwxrwx  1 u  g     7 Jun  4 12:00 link -> images",
};

QStringList Names(const TForm4& dialog) {
    QStringList names;
    for (int row = 0; row < dialog.RowCount(); ++row)
        names << dialog.RowText(row, 0);
    return names;
}

QStringList Column(const TForm4& dialog, int column) {
    QStringList texts;
    for (int row = 0; row < dialog.RowCount(); ++row)
        texts << dialog.RowText(row, column);
    return texts;
}

// Clicks the row named `name` in the view on show.
void ClickRow(TForm4& dialog, const QString& name, bool twice = false) {
    const QList<QStandardItem*> found = dialog.Rows->findItems(name);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    const QModelIndex index = found[0]->index();
    emit dialog.ListMode->clicked(index);
    if (twice) emit dialog.ListMode->doubleClicked(index);
}

TForm4 Unix() {
    return TForm4("ftp.example.com", "/pub/www", ftpstUNIX, UnixListing);
}

} // namespace

TEST(RenameDialog, RowsOfAUnixListing) {
    TForm4 dialog("ftp.example.com", "/pub/www", ftpstUNIX, UnixListing);
    EXPECT_EQ(dialog.Edit1->text(), "ftp://ftp.example.com/pub/www");
    EXPECT_TRUE(dialog.Edit1->isReadOnly());
    EXPECT_EQ(Names(dialog),
              QStringList({"images", "index.html", "readme.txt", "logo.GIF", "notes", "link"}));
    // A link is listed as a file, whatever it leads to.
    EXPECT_EQ(Column(dialog, 1), QStringList({"", "100", "9", "10", "2048", "7"}));
    EXPECT_EQ(Column(dialog, 3), QStringList({"Jan 5 12:34", "Feb 10 2020", "Mar 1 09:00",
                                              "Apr 2 10:00", "May 3 11:00", "Jun 4 12:00"}));
    const QStringList types = Column(dialog, 2);
    EXPECT_EQ(types[0], "ファイル フォルダ");
    // A name without an extension: the desktop has no type for it.
    EXPECT_EQ(types[4], " ファイル");
    EXPECT_EQ(types[5], " ファイル");
    // Known extensions have the desktop's type names.
    const QMimeDatabase mime;
    EXPECT_EQ(types[1], mime.mimeTypeForName("text/html").comment());
    EXPECT_EQ(types[2], mime.mimeTypeForName("text/plain").comment());
    EXPECT_EQ(types[3], mime.mimeTypeForName("image/gif").comment());
    for (int row = 0; row < 6; ++row)
        EXPECT_FALSE(dialog.Rows->item(row, 0)->icon().isNull());
}

TEST(RenameDialog, RowsOfAVmsListingAndUnknownExtensions) {
    TForm4 dialog("vms.example.com", "", ftpstVmsMultinet,
                  {"Directory DISK$USER:[WWW]", "",
                   "LOGIN.COM;3          2/3   5-JAN-2000 12:34:56 [GROUP,OWNER] (RWED,RWED,RE,)",
                   "PUBLIC.DIR;1         1/3   6-JAN-2000 01:02:03 [GROUP,OWNER] (RWE,RWE,RE,E)",
                   "DATA.QQZ;2           4/6   7-JAN-2000 10:00:00 [GROUP,OWNER] (RWED,RWED,RE,)",
                   "Total of 3 files, 7/12 blocks."});
    EXPECT_EQ(dialog.Edit1->text(), "ftp://vms.example.com");
    EXPECT_EQ(Names(dialog), QStringList({"LOGIN.COM", "PUBLIC", "DATA.QQZ"}));
    EXPECT_EQ(Column(dialog, 1), QStringList({"2/3", "", "4/6"}));
    EXPECT_EQ(Column(dialog, 3),
              QStringList({"5-JAN-2000 12:34:56", "6-JAN-2000 01:02:03", "7-JAN-2000 10:00:00"}));
    EXPECT_EQ(dialog.RowText(1, 2), "ファイル フォルダ");
    EXPECT_EQ(dialog.RowText(2, 2), ".QQZ ファイル");
}

TEST(RenameDialog, FileTypeChoicesKeepFoldersAndMatchExtensionsInAnyCase) {
    std::vector<std::string> listing = UnixListing;
    for (const char* name : {"page.HTM", "photo.jpeg", "a.jpg", "gif", "xgif", "b.gif.txt"})
        listing.push_back(std::string("-rw-r--r--  1 u  g  1 Jan  1  2001 ") + name);
    TForm4 dialog("h", "/", ftpstUNIX, listing);
    const QStringList expected[5] = {
        {"images", "index.html", "readme.txt", "logo.GIF", "notes", "link", "page.HTM",
         "photo.jpeg", "a.jpg", "gif", "xgif", "b.gif.txt"},
        {"images", "readme.txt", "b.gif.txt"},
        {"images", "index.html", "page.HTM"},
        {"images", "photo.jpeg", "a.jpg"},
        {"images", "logo.GIF"},
    };
    for (int choice : {4, 1, 3, 2, 0}) {
        SCOPED_TRACE(choice);
        dialog.ComboBox1->setCurrentIndex(choice);
        EXPECT_EQ(Names(dialog), expected[choice]);
    }
}

TEST(RenameDialog, SortingByEachColumnBothWays) {
    TForm4 dialog = Unix();
    const struct {
        int column;
        QStringList first, second;
    } cases[] = {
        {0,
         {"readme.txt", "notes", "logo.GIF", "link", "index.html", "images"},
         {"images", "index.html", "link", "logo.GIF", "notes", "readme.txt"}},
        // Sizes padded with "0" to the same length.
        {1,
         {"notes", "index.html", "logo.GIF", "readme.txt", "link", "images"},
         {"images", "link", "readme.txt", "logo.GIF", "index.html", "notes"}},
        // Dates compared as printed.
        {3,
         {"notes", "readme.txt", "link", "images", "index.html", "logo.GIF"},
         {"logo.GIF", "index.html", "images", "link", "readme.txt", "notes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        emit dialog.DetailMode->header()->sectionClicked(c.column);
        EXPECT_EQ(Names(dialog), c.first);
        emit dialog.DetailMode->header()->sectionClicked(c.column);
        EXPECT_EQ(Names(dialog), c.second);
    }
    // Rows keep their cells together.
    EXPECT_EQ(Column(dialog, 1), QStringList({"10", "100", "", "7", "9", "2048"}));

    // Type names the desktop does not know, and a folder; equal types go by name.
    TForm4 types("h", "/", ftpstUNIX,
                 {"-rw-r--r-- 1 u g 1 Jan  1  2001 b.qqa", "-rw-r--r-- 1 u g 1 Jan  1  2001 a.qqb",
                  "-rw-r--r-- 1 u g 1 Jan  1  2001 c.qqa", "drwxr-xr-x 1 u g 1 Jan  1  2001 d"});
    emit types.DetailMode->header()->sectionClicked(2);
    EXPECT_EQ(Names(types), QStringList({"d", "a.qqb", "c.qqa", "b.qqa"}));
    emit types.DetailMode->header()->sectionClicked(2);
    EXPECT_EQ(Names(types), QStringList({"b.qqa", "c.qqa", "a.qqb", "d"}));
}

TEST(RenameDialog, SortDirectionsAreSharedAndResetByTheNextDialog) {
    TForm4 first = Unix();
    emit first.DetailMode->header()->sectionClicked(1);
    EXPECT_EQ(TForm4::SortDirections, (std::array<int, 4>{1, -1, 1, 1}));
    TForm4 second = Unix();
    EXPECT_EQ(TForm4::SortDirections, (std::array<int, 4>{1, 1, 1, 1}));
    emit second.DetailMode->header()->sectionClicked(1);
    EXPECT_EQ(Names(second).first(), "notes");
}

TEST(RenameDialog, ViewsAndFocus) {
    TForm4 dialog = Unix();
    EXPECT_EQ(dialog.ListView1->currentWidget(), dialog.ListMode);
    EXPECT_TRUE(dialog.SpeedButton1->isChecked());
    dialog.SpeedButton2->click();
    EXPECT_EQ(dialog.ListView1->currentWidget(), dialog.DetailMode);
    EXPECT_FALSE(dialog.SpeedButton1->isChecked());
    dialog.SpeedButton1->click();
    EXPECT_EQ(dialog.ListView1->currentWidget(), dialog.ListMode);
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              EXPECT_EQ(dialog.focusWidget(), dialog.Edit2);
                              dialog.Button1->click();
                          }),
              QDialog::Rejected);
}

TEST(RenameDialog, ConfirmNameAsksOnlyForListedNames) {
    const struct {
        const char* what;
        QString name;
        int choice; // file type
        bool asked;
        QMessageBox::StandardButton answer;
        int result;
    } cases[] = {
        {"a new name", "fresh.txt", 0, false, QMessageBox::NoButton, QDialog::Accepted},
        {"an empty name", "", 0, false, QMessageBox::NoButton, QDialog::Accepted},
        {"another case", "README.TXT", 0, false, QMessageBox::NoButton, QDialog::Accepted},
        {"a folder's name", "images", 0, true, QMessageBox::Yes, QDialog::Accepted},
        {"listed, yes", "readme.txt", 0, true, QMessageBox::Yes, QDialog::Accepted},
        {"listed, no", "readme.txt", 0, true, QMessageBox::No, QDialog::Rejected},
        {"hidden by the file type", "readme.txt", 4, false, QMessageBox::NoButton,
         QDialog::Accepted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TForm4 dialog = Unix();
        dialog.ComboBox1->setCurrentIndex(c.choice);
        dialog.Edit2->setText(c.name);
        std::optional<TNextBox> box;
        const int result = ExecBounded(dialog, [&] {
            if (c.asked) box.emplace(c.answer);
            dialog.Button2->click();
            // Still open after "No": the user cancels.
            if (dialog.isVisible()) dialog.Button1->click();
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dialog.Name(), c.name.toStdString());
        if (!c.asked) continue;
        ASSERT_TRUE(box->Seen());
        EXPECT_EQ(box->Title, "ファイルの上書きの確認");
        EXPECT_EQ(box->Text, c.name + "は既に存在します。\n上書きしますか?");
    }

    TForm4 empty("h", "/", ftpstUNIX, {});
    empty.Edit2->setText("proposed.txt");
    EXPECT_EQ(ExecBounded(empty, [&] { empty.Button2->click(); }), QDialog::Accepted);
    EXPECT_EQ(empty.RowCount(), 0);
    EXPECT_EQ(empty.Name(), "proposed.txt");
}

TEST(RenameDialog, VmsAndVmServersAskForANameListedInCapitals) {
    const struct {
        TFTPServerType type;
        std::string line;
        QString typed;
        QString listed;
    } cases[] = {
        {ftpstVmsUcx,
         "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
         "cii-manual.tex", "CII-MANUAL.TEX"},
        {ftpstVmsMultinet, "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)",
         "00readme.txt", "00README.TXT"},
        {ftpstVM, "$README  $FIRST   F         80          7          1 11/21/97 23:26:08 FTP301",
         "$readme.$first", "$README.$FIRST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TForm4 dialog("h", "/", c.type, {c.line});
        dialog.Edit2->setText(c.typed);
        std::optional<TNextBox> box;
        EXPECT_EQ(ExecBounded(dialog,
                              [&] {
                                  box.emplace(QMessageBox::No);
                                  dialog.Button2->click();
                                  if (dialog.isVisible()) dialog.Button1->click();
                              }),
                  QDialog::Rejected);
        ASSERT_TRUE(box->Seen());
        EXPECT_EQ(box->Text, c.listed + "は既に存在します。\n上書きしますか?");
    }
}

TEST(RenameDialog, PickingRows) {
    TForm4 dialog = Unix();
    dialog.Edit2->setText("mine.txt");
    ClickRow(dialog, "images");
    EXPECT_EQ(dialog.Edit2->text(), "mine.txt");
    ClickRow(dialog, "images", true);
    EXPECT_EQ(dialog.Edit2->text(), "mine.txt");
    EXPECT_FALSE(dialog.isVisible());
    ClickRow(dialog, "logo.GIF");
    EXPECT_EQ(dialog.Edit2->text(), "logo.GIF");

    // A double click takes the name and asks about it.
    std::optional<TNextBox> box;
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              box.emplace(QMessageBox::Yes);
                              ClickRow(dialog, "index.html", true);
                          }),
              QDialog::Accepted);
    EXPECT_TRUE(box->Seen());
    EXPECT_EQ(dialog.Name(), "index.html");
}

TEST(RenameDialog, NamesKeepTheirBytes) {
    // 0x80 is no Shift_JIS character: the row shows a replacement, the name keeps the byte.
    TForm4 dialog("h", "/", ftpstUNIX,
                  {"-rw-r--r-- 1 u g 1 Jan  1  2001 \x80odd.txt",
                   "-rw-r--r-- 1 u g 1 Jan  1  2001 \x93\xfa\x96\x7b.txt"});
    EXPECT_EQ(Names(dialog), QStringList({QString(QChar(0xFFFD)) + "odd.txt", "日本.txt"}));
    ClickRow(dialog, QString(QChar(0xFFFD)) + "odd.txt");
    EXPECT_EQ(dialog.Name(), "\x80odd.txt");
    dialog.Edit2->setText("日本.txt");
    EXPECT_EQ(dialog.Name(), "\x93\xfa\x96\x7b.txt");

    // Typed text without a Shift_JIS form is refused and the dialog stays open.
    dialog.Edit2->setText("😀.txt");
    EXPECT_EQ(dialog.Name(), std::nullopt);
    std::optional<TNextBox> box;
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              box.emplace(QMessageBox::Ok);
                              dialog.Button2->click();
                              EXPECT_TRUE(dialog.isVisible());
                              dialog.Button1->click();
                          }),
              QDialog::Rejected);
    EXPECT_TRUE(box->Seen());
    EXPECT_EQ(box->Title, "Error");
}

// On a server that keeps UTF-8 names the rows, the folder and the name typed are UTF-8, also for
// characters Shift_JIS lacks; a listed name still asks before it is taken.
TEST(RenameDialog, Utf8ServerShowsAndTakesAnyName) {
    TForm4 dialog("h", "/写真", ftpstUNIX,
                  {"-rw-r--r-- 1 u g 1 Jan  1  2001 写真😀.txt",
                   "-rw-r--r-- 1 u g 1 Jan  1  2001 メモ〜.txt"},
                  nullptr, true);
    EXPECT_EQ(dialog.Edit1->text(), "ftp://h/写真");
    EXPECT_EQ(Names(dialog), QStringList({"写真😀.txt", "メモ〜.txt"}));
    ClickRow(dialog, "写真😀.txt");
    EXPECT_EQ(dialog.Name(), "写真😀.txt");
    dialog.Edit2->setText("résumé.txt");
    EXPECT_EQ(dialog.Name(), "résumé.txt");
    dialog.Edit2->setText("メモ〜.txt");
    std::optional<TNextBox> box;
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              box.emplace(QMessageBox::Yes);
                              dialog.Button2->click();
                          }),
              QDialog::Accepted);
    EXPECT_TRUE(box->Seen());
    EXPECT_EQ(dialog.Name(), "メモ〜.txt");
}

TEST(RenameDialog, TenRowsWithWholeSizesTypesAndDatesAndItGrows) {
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i)
        lines.push_back("-rw-r--r--   1 user  group  20971520" + std::to_string(i % 10) +
                        " Dec 24 23:59 big-file-" + std::to_string(i) + ".html");
    TForm4 dialog("ftp.example.com", "/", ftpstUNIX, lines);
    dialog.SpeedButton2->click();
    dialog.show();
    QApplication::processEvents();
    EXPECT_GE(dialog.width(), 497);
    EXPECT_GE(dialog.height(), 217);
    const QTreeView* view = dialog.DetailMode;
    // Rows shown whole inside the viewport, from the top.
    int whole = 0;
    for (int row = 0; row < dialog.RowCount(); ++row)
        if (view->viewport()->rect().contains(view->visualRect(dialog.Rows->index(row, 0))))
            ++whole;
    EXPECT_GE(whole, TForm4::VisibleRows);
    // Each text of the three columns fits its column.
    const QFontMetrics metrics = view->fontMetrics();
    for (int column = 1; column < 4; ++column) {
        int widest = 0;
        for (int row = 0; row < dialog.RowCount(); ++row)
            widest = std::max(widest, metrics.horizontalAdvance(dialog.RowText(row, column)));
        EXPECT_GT(view->columnWidth(column), widest) << column;
    }
    // The user can make it larger; the list takes the room.
    const int listHeight = dialog.ListView1->height();
    EXPECT_LT(dialog.minimumHeight(), 2000);
    EXPECT_NE(dialog.maximumHeight(), dialog.minimumHeight());
    dialog.resize(dialog.width() + 200, dialog.height() + 200);
    QApplication::processEvents();
    EXPECT_EQ(dialog.ListView1->height(), listHeight + 200);
}

TEST(RenameDialog, RowsPickedWithTheArrowKeys) {
    TForm4 dialog = Unix();
    dialog.Edit2->setText("mine.txt");
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              // A folder reached by the keys leaves the name alone.
                              dialog.ListMode->setCurrentIndex(dialog.Rows->index(0, 0));
                              EXPECT_EQ(dialog.Edit2->text(), "mine.txt");
                              QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
                              QApplication::sendEvent(dialog.ListMode, &down);
                              EXPECT_EQ(dialog.Edit2->text(), "index.html");
                              // Sorting moves rows without picking one.
                              dialog.Edit2->setText("mine.txt");
                              dialog.SortByColumn(1);
                              EXPECT_EQ(dialog.Edit2->text(), "mine.txt");
                              dialog.reject();
                          }),
              QDialog::Rejected);
}

TEST(RenameDialog, KeepsItsSizeAndPlaceForTheNextRun) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/state/windows.ini";
    SetWindowPlaceFile(file);
    QSize size;
    QPoint pos;
    {
        TForm4 first = Unix();
        first.show();
        first.resize(first.width() + 40, first.height() + 30);
        first.move(20, 30);
        size = first.size();
        pos = first.pos();
        first.hide();
    }
    EXPECT_TRUE(QFile::exists(file));
    TForm4 second = Unix();
    second.show();
    EXPECT_EQ(second.size(), size);
    EXPECT_EQ(second.pos(), pos);
    second.hide();
    // Without a place file nothing is kept: the dialog starts at its own size.
    SetWindowPlaceFile({});
    TForm4 third = Unix();
    third.show();
    EXPECT_LT(third.width(), size.width());
}

TEST(RenameDialog, APlaceKeptAlreadyIsNotWrittenAgain) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/state/windows.ini";
    SetWindowPlaceFile(file);
    // The file is replaced by a new one whenever it is written.
    const auto written = [&] {
        struct stat s {};
        return stat(file.toLocal8Bit().constData(), &s) == 0 ? s.st_ino : ino_t(0);
    };
    ino_t first = 0;
    {
        TForm4 dialog = Unix();
        dialog.show();
        dialog.move(20, 30);
        dialog.hide();
        first = written();
        ASSERT_NE(first, ino_t(0));
        dialog.show(); // at the place kept
        dialog.hide();
        EXPECT_EQ(written(), first);
        dialog.show();
        dialog.move(60, 70);
        dialog.hide();
    }
    EXPECT_NE(written(), first);
    TForm4 again = Unix();
    again.show();
    EXPECT_EQ(again.pos(), QPoint(60, 70));
    again.hide();
    SetWindowPlaceFile({});
}
