// Texts and names as Linux keeps them, through the program against pyftpdlib (which announces
// UTF8): names that Shift_JIS lacks arrive under their UTF-8 names, UTF-8 texts arrive in each
// text mode's code, and a text that the mode's code cannot hold fails before its store.
#include "uploadtest.h"

#include "dialogs/ovrwtfrm.h"
#include "dialogs/savasfrm.h"
#include "platform/codepage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Lf(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

std::string Decoded(const char* from, const std::string& bytes) {
    return IconvConvert("UTF-8", from, bytes).value_or("(not " + std::string(from) + ")");
}

TEST_F(TUploadTest, NamesShiftJisLacksArriveUnderTheirUtf8Names) {
    WriteProfile(TProfile().Policy(2)); // same name on the server: not sent
    const std::vector<std::string> names = {"résumé.txt", "写真😀.txt", "メモ〜.txt", "表ソ能.bin"};
    std::vector<std::string> args = {"/NOMSG"};
    for (const std::string& name : names)
        args.push_back(Local(name, "new " + name));
    args.push_back(Local("café/plain.txt", "plain"));
    // Listed under its UTF-8 name, so the same-file check finds it.
    Remote("写真😀.txt", "old");
    const TRunResult run = Run(args);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Arrived("résumé.txt"), "new résumé.txt");
    EXPECT_EQ(Arrived("写真😀.txt"), "old");
    EXPECT_EQ(Arrived("メモ〜.txt"), "new メモ〜.txt");
    EXPECT_EQ(Arrived("表ソ能.bin"), "new 表ソ能.bin");
    EXPECT_EQ(Arrived("plain.txt"), "plain");
    EXPECT_NE(run.log.find("OPTS UTF8 ON"), std::string::npos) << run.log;
    // The log shows the names as they are.
    EXPECT_NE(run.log.find("RNTO /メモ〜.txt"), std::string::npos) << run.log;
    EXPECT_EQ(run.results, (std::vector<TFileResult>{
                               TFileResult::Stored, TFileResult::SkippedByPolicy,
                               TFileResult::Stored, TFileResult::Stored, TFileResult::Stored}));
}

TEST_F(TUploadTest, Utf8TextInEachTextMode) {
    const std::string text = "日本語のテキスト\r\nメモ〜 と ASCII\r\n";
    const struct {
        int mode;
        const char* code; // how the stored bytes are read
        std::string want; // UTF-8
    } cases[] = {
        {3, "ISO-2022-JP", text},
        {4, "SHIFT_JIS", text},
        {5, "EUC-JP", Lf(text)},
        {6, "UTF-8", Lf(text)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        WriteProfile(TProfile().Mode(c.mode));
        const std::string name = "u" + std::to_string(c.mode) + ".txt";
        const TRunResult run = Run({"/NOMSG", Local(name, text)});
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        const auto stored = Arrived(name);
        ASSERT_TRUE(stored);
        if (c.mode != 6) {
            EXPECT_NE(*stored, text); // really converted
        }
        EXPECT_EQ(Decoded(c.code, *stored), c.want);
        EXPECT_NE(run.log.find(name + " を UTF-8 のテキストとして読みます"), std::string::npos)
            << run.log;
    }
    // A Shift_JIS text in the UTF-8 mode arrives in UTF-8, and the log says how it was read.
    WriteProfile(TProfile().Mode(6));
    const std::string sjis = *IconvConvert("SHIFT_JIS", "UTF-8", text);
    const TRunResult run = Run({"/NOMSG", Local("s.txt", sjis)});
    EXPECT_EQ(Arrived("s.txt"), Lf(text));
    EXPECT_NE(run.log.find("s.txt を Shift_JIS のテキストとして読みます"), std::string::npos)
        << run.log;
}

TEST_F(TUploadTest, TextTheModesCodeLacksFailsBeforeItsStore) {
    WriteProfile(TProfile().Mode(5)); // EUC
    const std::string bad = Local("bad.txt", "日本\r\n絵文字😀\r\n");
    const std::string good = Local("good.txt", "日本\r\n");
    const TRunResult run = Run({"/NOMSG", bad, good});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.errors.find("wendup: " + bad +
                              ": 転送モードの文字コードで表せない文字があります: 2 行目の「😀」\n"),
              std::string::npos)
        << run.errors;
    // Not even an empty file: STOR never went out for it.
    EXPECT_FALSE(Arrived("bad.txt"));
    EXPECT_EQ(run.log.find("STOR /bad.txt"), std::string::npos) << run.log;
    EXPECT_EQ(Decoded("EUC-JP", Arrived("good.txt").value_or("")), "日本\n");
    EXPECT_TRUE(run.boxes.isEmpty());
}

// The questions show the names as they are: the overwrite question names the file on the server,
// and the rename dialog lists the server's UTF-8 names and stores under the name typed there.
TEST_F(TUploadTest, QuestionsShowAndTakeNamesShiftJisLacks) {
    WriteProfile(TProfile().Policy(4)); // ask each time
    Remote("写真😀.txt", "old");
    QString asked;
    TRunResult run = Run({"/NOMSG", Local("写真😀.txt", "new")}, [&](QWidget* w) {
        auto* form2 = qobject_cast<TForm2*>(w);
        ASSERT_NE(form2, nullptr);
        asked = form2->Label1->text();
        form2->Button1->click(); // はい
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(asked, "このフォルダには既に '写真😀.txt' ファイルが存在します。");
    EXPECT_EQ(Arrived("写真😀.txt"), "new");

    WriteProfile(TProfile().Policy(1)); // another name
    QString listed;
    run = Run({"/NOMSG", Local("写真😀.txt", "newer")}, [&](QWidget* w) {
        auto* rename = qobject_cast<TForm4*>(w);
        ASSERT_NE(rename, nullptr);
        for (int row = 0; row < rename->RowCount(); ++row)
            listed += rename->RowText(row, 0) + "|";
        rename->Edit2->setText("メモ〜😀.txt");
        rename->Button2->click();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(listed.contains("写真😀.txt|")) << listed.toStdString();
    EXPECT_EQ(Arrived("メモ〜😀.txt"), "newer");
    EXPECT_EQ(Arrived("写真😀.txt"), "new");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

} // namespace
