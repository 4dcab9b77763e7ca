// The main window's controls and states.
#include "apptest.h"

#include "app/ftpfrm.h"
#include "app/settings.h"
#include "dialogs/modefrm.h"
#include "platform/codepage.h"

#include "eventloop.h"
#include "loopback.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <fstream>
#include <sstream>

TEST_F(TAppTest, ControlsAreFoundByTheirNamesWithTheirTexts) {
    TForm1 form({});
    EXPECT_EQ(form.windowTitle(), "Wendup FTP uploader");
    struct {
        const char* name;
        const char* text;
        const char* hint;
    } const controls[] = {
        {"Label6", "プロファイル名", ""},
        {"CheckBox3", "デフォルト", "普段使うサーバーではチェックしてください"},
        {"Button6", "詳細 ▼", "設定変更、追加するとき押してください"},
        {"Button4", "転送", "ファイルを転送します"},
        {"Button3", "新規", "新規プロファイルを作成します"},
        {"Button5", "削除", "このプロファイルを削除します"},
        {"Label1", "サーバ名", ""},
        {"Label2", "ポート", ""},
        {"CheckBox5", "PWD", "普通のサーバーではチェックしてください"},
        {"CheckBox7", "PASV", "パッシブモードで接続します (ファイアウォールやルーターの内側から)"},
        {"Label4", "ユーザ名", ""},
        {"CheckBox1", "anonymous", "anonymous ftpサイトの場合入力します"},
        {"Label5", "パスワード", ""},
        {"CheckBox2", "保存", "パスワードを保存します"},
        {"Label3", "メール", ""},
        {"Label7", "ディレクトリ", ""},
        {"Label8", "同名ファイルの処理", ""},
        {"Label9", "転送モード", ""},
        {"Button8", "設定...", ""},
        {"CheckBox8", "一時ファイル名で転送",
         "一時的な名前で転送し、完了してから本来の名前に変更します"},
        {"CheckBox9", "FTPS (TLS)",
         "パスワードとファイルを TLS で暗号化して送ります (サーバーが FTPS に対応しているとき)"},
        {"CheckBox4", "エクスプローラの「送る」にWendup FTPを登録",
         "ファイルを右クリックして転送できるようになります"},
        {"CheckBox6", "フォルダごと転送", "PWDをサポートしない場合は無効です"},
        {"Label10", "タイムアウト時間(sec)", ""},
        {"Button1", "設定", "保存して終了します"},
        {"Button2", "終了", "保存せずに終了します"},
        {"Panel2", "接続中...", ""},
        {"Button7", "ログ", "実際の送受信文字列を表示します。"},
        {"Button9", "キャンセル", "転送を中止します"},
    };
    for (const auto& c : controls) {
        auto* w = form.findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        const QVariant text = w->property("text");
        EXPECT_EQ(text.toString(), QString(c.text)) << c.name;
        EXPECT_EQ(w->toolTip(), QString(c.hint)) << c.name;
    }
    EXPECT_EQ(form.Edit4->maxLength(), 32);
    EXPECT_EQ(form.Edit4->echoMode(), QLineEdit::Password);
    // "PASV" shows beside "PWD", inside the server group, each with room for its caption.
    EXPECT_TRUE(form.CheckBox7->isVisibleTo(&form));
    for (const QCheckBox* box : {form.CheckBox5, form.CheckBox7}) {
        EXPECT_TRUE(form.GroupBox1->rect().contains(box->geometry()))
            << box->objectName().toStdString();
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
    }
    EXPECT_FALSE(form.CheckBox5->geometry().intersects(form.CheckBox7->geometry()));
    EXPECT_EQ(form.CheckBox5->y(), form.CheckBox7->y());
    // The folder box shows in the editor, off until the settings say otherwise.
    EXPECT_TRUE(form.CheckBox6->isVisibleTo(&form));
    EXPECT_FALSE(form.CheckBox6->isChecked());
    // The editor's controls each have a place of their own inside it, with room for their
    // captions.
    const QList<QWidget*> placed = form.Editor->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* a : placed) {
        if (!a->isVisibleTo(&form) || a == form.Bevel1) continue;
        EXPECT_TRUE(form.Editor->rect().contains(a->geometry())) << a->objectName().toStdString();
        if (const auto* box = qobject_cast<const QCheckBox*>(a)) {
            EXPECT_GE(box->width(), box->sizeHint().width()) << a->objectName().toStdString();
        }
        for (const QWidget* b : placed) {
            if (a == b || !b->isVisibleTo(&form)) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
    }
    // The profile's own choices stand above the line, the program's below it.
    EXPECT_LT(form.CheckBox8->geometry().bottom(), form.Bevel1->y());
    EXPECT_LT(form.CheckBox9->geometry().bottom(), form.Bevel1->y());
    EXPECT_GT(form.CheckBox4->y(), form.Bevel1->geometry().bottom());
    EXPECT_EQ(form.ComboBox2->count(), 5);
    EXPECT_EQ(form.ComboBox2->itemText(4), "その都度確認する");
    EXPECT_EQ(form.ComboBox3->count(), 7);
    EXPECT_EQ(form.ComboBox3->itemText(5), "自動、テキストはEUC");
    EXPECT_EQ(form.ComboBox3->itemText(6), "自動、テキストはUTF-8");
    EXPECT_EQ(form.ComboBox4->count(), 4);
    EXPECT_EQ(form.ComboBox4->currentIndex(), 0); // 自動
    EXPECT_LT(form.ComboBox4->geometry().bottom(), form.Bevel1->y());
    EXPECT_EQ(form.OpenDialog()->windowTitle(), "転送するファイルの選択");
    EXPECT_EQ(form.OpenDialog()->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(form.OpenDialog()->nameFilters(), QStringList("すべてのファイル (*)"));
}

TEST_F(TAppTest, ChooserExpandsToAnEditableEditor) {
    WriteFile("wendup.ini", "");
    WriteFile("beta.inf", "[Server]\nserver=beta.example\n");
    WriteFile("alpha.inf", "[Server]\nserver=alpha.example\n");
    auto form = Start();
    ASSERT_EQ(form->Mode(), TForm1::ChooserMode);
    EXPECT_FALSE(form->Editor->isVisible());
    EXPECT_TRUE(form->Button4->isVisible());
    EXPECT_EQ(form->ComboBox1->lineEdit(), nullptr);

    form->Button6->click();
    EXPECT_EQ(form->Mode(), TForm1::SetupMode);
    EXPECT_EQ(form->height(), 275);
    EXPECT_FALSE(form->Button6->isEnabled());
    ASSERT_NE(form->ComboBox1->lineEdit(), nullptr);
    EXPECT_EQ(form->ComboBox1->currentText(), "alpha");
    EXPECT_EQ(form->Edit1->text(), "alpha.example");

    // A saved profile's name loads it; any other name keeps what the editor shows.
    form->ComboBox1->lineEdit()->setText("bet");
    EXPECT_EQ(form->Edit1->text(), "alpha.example");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("bet.inf")))) << "loading wrote a file";
    form->ComboBox1->lineEdit()->setText("beta");
    EXPECT_EQ(form->Edit1->text(), "beta.example");
    EXPECT_EQ(form->ComboBox1->count(), 2);
}

TEST_F(TAppTest, CheckBoxesAndPolicyListFollowTheUser) {
    auto form = Start();
    form->Edit3->setText("yamada");
    form->CheckBox1->click();
    EXPECT_EQ(form->Edit3->text(), "anonymous");
    EXPECT_TRUE(form->Edit5->isEnabled());
    form->CheckBox1->click();
    EXPECT_EQ(form->Edit3->text(), "anonymous");
    EXPECT_FALSE(form->Edit5->isEnabled());

    form->CheckBox5->click();
    EXPECT_FALSE(form->Edit6->isEnabled());
    form->CheckBox5->click();
    EXPECT_TRUE(form->Edit6->isEnabled());

    // Only the user's pick of "その都度確認する" clears NoFolderQuestion, for good.
    form->ComboBox2->setCurrentIndex(4);
    EXPECT_TRUE(form->NoFolderQuestion);
    emit form->ComboBox2->activated(1);
    EXPECT_TRUE(form->NoFolderQuestion);
    emit form->ComboBox2->activated(4);
    EXPECT_FALSE(form->NoFolderQuestion);
    emit form->ComboBox2->activated(0);
    EXPECT_FALSE(form->NoFolderQuestion);
}

TEST_F(TAppTest, NewProfileThenSaveMakesItTheLastProfile) {
    WriteFile("wendup.ini", "[Default]\nProfile=p\n");
    WriteFile("p.inf", "[Server]\nserver=p.example\n[User]\nuser=u\n");
    auto form = Start({"/SET"});
    form->Edit5->setText("kept@example.com");
    form->CheckBox4->setChecked(false);
    form->Button3->click();
    EXPECT_EQ(form->ComboBox1->currentText(), "新規設定");
    EXPECT_EQ(form->Edit1->text(), "ftp.example.com");
    EXPECT_EQ(form->Edit3->text(), "username");
    EXPECT_EQ(form->Edit5->text(), "kept@example.com");
    EXPECT_TRUE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->CheckBox4->isChecked());
    form->CheckBox4->setChecked(false);
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Value("wendup.ini", "Default", "LastServer"), "新規設定");
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "新規設定");
    EXPECT_EQ(Value("新規設定.inf", "User", "user"), "username");
    EXPECT_EQ(Value("p.inf", "User", "user"), "u");
}

TEST_F(TAppTest, SessionWindowAndLogView) {
    WriteFile("wendup.ini", "[Default]\nProfile=p\n");
    // Nobody listens there: the sessions end in a refusal, told without a message box.
    WriteFile("p.inf", "[Server]\nserver=127.0.0.1\nport=" +
                           std::to_string(RefusingLoopbackPort()) + "\n[User]\nanonymous=1\n");
    auto form = Start({"none", "/NOMSG"});
    ASSERT_EQ(form->Mode(), TForm1::ConnectingMode);
    EXPECT_EQ(form->height(), 100);
    // Wide enough that the frame does not cut the title short.
    EXPECT_GT(form->width(), form->fontMetrics().horizontalAdvance(form->windowTitle()) + 64);
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_FALSE(form->ComboBox1->isVisible());
    EXPECT_FALSE(form->Memo1->isVisible());
    EXPECT_EQ(form->Panel2->cursor().shape(), Qt::WaitCursor);

    EXPECT_TRUE(form->Button9->isVisible());

    form->Button7->click();
    EXPECT_EQ(form->Mode(), TForm1::LogView);
    EXPECT_EQ(form->size(), QSize(600, 300));
    EXPECT_TRUE(form->Memo1->isVisible());
    EXPECT_FALSE(form->Button7->isVisible());
    EXPECT_FALSE(form->Button9->isVisible());
    EXPECT_GT(form->maximumWidth(), 600);

    // The refusal ends the session; the log view stays until it is closed.
    ASSERT_TRUE(RunUntil([&] { return form->Panel2->text() == "切断しました。"; }, 10000));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Panel2->cursor().shape(), Qt::ArrowCursor);
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Session().Files().empty());

    auto plain = Start({"none", "/NOMSG"});
    EXPECT_TRUE(RunUntil([&] { return !plain->isVisible(); }, 10000));
}

TEST_F(TAppTest, TextModeDialogEditsTheListOnlyOnOk) {
    WriteFile("wendup.ini", "[TextMode]\ntxt=1\nlog=0\nhtm=1\n");
    auto form = Start();
    TForm5 dialog;
    form->Form5 = &dialog;
    dialog.Edit1->setText("left over");

    QStringList shown;
    TModalAnswer answer([&](QWidget* w) {
        ASSERT_EQ(w, &dialog);
        shown = dialog.Entries();
        EXPECT_EQ(dialog.Edit1->text(), "");
        dialog.Edit1->setText("Txt");
        dialog.Button1->click();
        dialog.Edit1->setText("css");
        dialog.Button1->click();
        dialog.ListBox1->setCurrentRow(1);
        dialog.ListBox1Click();
        dialog.Button2->click();
        dialog.Edit1->setText("log");
        dialog.Button3->click();
    });
    form->Button8->click();
    EXPECT_EQ(shown, QStringList({"txt", "htm"}));
    EXPECT_EQ(ReadTextModeList(), (std::vector<std::string>{"txt", "css", "log"}));
    EXPECT_EQ(Value("wendup.ini", "TextMode", "log"), "1");
    EXPECT_EQ(Value("wendup.ini", "TextMode", "htm"), "(missing)");
}

TEST_F(TAppTest, TextModeDialogCancelWritesNothing) {
    WriteFile("wendup.ini", "; hand-written\n[TextMode]\ntxt=1\n");
    std::ifstream in(Path("wendup.ini"), std::ios::binary);
    std::stringstream before;
    before << in.rdbuf();
    auto form = Start();
    TForm5 dialog;
    form->Form5 = &dialog;
    TModalAnswer answer([&](QWidget*) {
        dialog.ListBox1->setCurrentRow(0);
        dialog.Button2->click();
        dialog.Edit1->setText("pl");
        dialog.Button1->click();
        dialog.Button4->click();
    });
    form->Button8->click();
    std::ifstream after(Path("wendup.ini"), std::ios::binary);
    std::stringstream now;
    now << after.rdbuf();
    EXPECT_EQ(now.str(), before.str());
}

TEST_F(TAppTest, TextModeEntryThatCannotBeAKeyWritesNothing) {
    WriteFile("wendup.ini", "[TextMode]\ntxt=1\n");
    auto form = Start();
    TForm5 dialog;
    form->Form5 = &dialog;
    TModalAnswer answer([&](QWidget* w) {
        if (w != &dialog) return ClickYes(w);
        dialog.Edit1->setText("a=b");
        dialog.Button3->click();
    });
    form->Button8->click();
    EXPECT_EQ(answer.Texts, QStringList("'a=b' は保存できない文字を含んでいます"));
    EXPECT_EQ(ReadTextModeList(), std::vector<std::string>{"txt"});
}
