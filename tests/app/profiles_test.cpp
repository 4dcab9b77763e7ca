// Profiles and settings through the main window: load, save, delete, restrictions, the key options
// and the file manager's entry.
#include "apptest.h"

#include "app/ftpfrm.h"
#include "app/settings.h"
#include "crypto/deskey.h"
#include "platform/codepage.h"
#include "platform/sendto.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Sealed(const std::string& key, const std::string& password) {
    TDES des;
    des.SetKey(key);
    return SealPassword(des, password);
}

// What a profile without any key loads as.
void ExpectProfileDefaults(const TForm1& form) {
    EXPECT_EQ(form.Edit1->text(), "");
    EXPECT_EQ(form.Edit2->text(), "21");
    EXPECT_TRUE(form.CheckBox5->isChecked());
    EXPECT_TRUE(form.Edit6->isEnabled());
    EXPECT_FALSE(form.CheckBox7->isChecked());
    EXPECT_FALSE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.Edit5->isEnabled());
    EXPECT_EQ(form.Edit3->text(), "anonymous");
    EXPECT_EQ(form.Edit4->text(), "");
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_EQ(form.Edit5->text(), "anonymous@example.com");
    EXPECT_EQ(form.Edit6->text(), "");
    EXPECT_EQ(form.ComboBox2->currentIndex(), 3);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
}

} // namespace

TEST_F(TAppTest, FirstStartShowsDesignValuesThenTypingANameLoadsDefaultsAndSaveCreatesFiles) {
    auto form = Start();
    ASSERT_EQ(form->Mode(), TForm1::SetupMode);
    EXPECT_EQ(form->Edit1->text(), "ftp.example.com");
    EXPECT_EQ(form->Edit2->text(), "21");
    EXPECT_EQ(form->Edit3->text(), "");
    EXPECT_TRUE(form->CheckBox4->isChecked());
    EXPECT_EQ(form->SpinEdit1->value(), 30);
    EXPECT_EQ(form->ComboBox2->currentIndex(), -1);
    EXPECT_EQ(form->ComboBox3->currentIndex(), -1);
    EXPECT_TRUE(form->NoFolderQuestion);

    form->Edit1->setText("typed before the name");
    form->ComboBox1->lineEdit()->setText("サーバ");
    ExpectProfileDefaults(*form);
    // The settings keys are missing too.
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_FALSE(form->CheckBox4->isChecked());
    EXPECT_FALSE(form->CheckBox6->isChecked());

    form->Edit1->setText("ftp.example.org");
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ReadBytes(Path("wendup.ini")),
              "[Default]\r\nProfile=\r\nRegShortCut=0\r\nLastServer=" + *Utf8ToSystem("サーバ") +
                  "\r\nMakeDir=0\r\nTimeOut=30\r\n\r\n");
    EXPECT_EQ(Value("サーバ.inf", "Server", "server"), "ftp.example.org");
    EXPECT_EQ(Value("サーバ.inf", "User", "password"), Sealed(GetMachineKey(), ""));
}

TEST_F(TAppTest, SaveWritesEveryKeyInOrderAndLoadGivesItBack) {
    WriteFile("wendup.ini", "[Default]\nProfile=\n");
    WriteFile("old.inf", "");
    auto form = Start({"/SET"});
    form->ComboBox1->lineEdit()->setText("full");
    form->Edit1->setText("ftp.example.net");
    form->Edit2->setText("021");
    form->CheckBox5->setChecked(false);
    form->CheckBox7->setChecked(true);
    form->CheckBox1->setChecked(true);
    form->Edit3->setText("山田");
    form->Edit4->setText("秘密pass");
    form->Edit5->setText("me@example.net");
    form->CheckBox2->setChecked(true);
    form->Edit6->setText("/pub/ドキュメント");
    form->ComboBox2->setCurrentIndex(4);
    form->ComboBox3->setCurrentIndex(5);
    form->CheckBox3->setChecked(true);
    form->CheckBox4->setChecked(false);
    form->CheckBox6->setChecked(true);
    form->SpinEdit1->setValue(-7);
    ASSERT_TRUE(form->SaveSettings());

    const std::string sealed = Sealed(GetMachineKey(), *Utf8ToSystem("秘密pass"));
    ASSERT_EQ(sealed.size(), 258u);
    const std::string expected =
        "[Server]\r\nserver=ftp.example.net\r\nport=21\r\nPWDImplement=0\r\n"
        "PASVSupport=1\r\n\r\n[User]\r\nanonymous=1\r\nuser=" +
        *Utf8ToSystem("山田") + "\r\npassword=" + sealed +
        "\r\nemail=me@example.net\r\nSavePassword=1\r\nDefaultDir=" +
        *Utf8ToSystem("/pub/ドキュメント") +
        "\r\n\r\n[Preferences]\r\nSameFileExist=4\r\nJapaneseCode=5\r\n\r\n";
    EXPECT_EQ(ReadBytes(Path("full.inf")), expected);
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "full");
    EXPECT_EQ(Value("wendup.ini", "Default", "TimeOut"), "-7");
    EXPECT_EQ(Value("wendup.ini", "Default", "MakeDir"), "1");

    // Another start on the new default profile shows it all again.
    auto again = Start({"/SET"});
    ASSERT_EQ(again->ComboBox1->currentText(), "full");
    EXPECT_EQ(again->Edit1->text(), "ftp.example.net");
    EXPECT_EQ(again->Edit2->text(), "21");
    EXPECT_FALSE(again->CheckBox5->isChecked());
    EXPECT_FALSE(again->Edit6->isEnabled());
    EXPECT_TRUE(again->CheckBox7->isChecked());
    EXPECT_TRUE(again->CheckBox1->isChecked());
    EXPECT_TRUE(again->Edit5->isEnabled());
    EXPECT_EQ(again->Edit3->text(), "山田");
    EXPECT_EQ(again->Edit4->text(), "秘密pass");
    EXPECT_TRUE(again->CheckBox2->isChecked());
    EXPECT_EQ(again->Edit5->text(), "me@example.net");
    EXPECT_EQ(again->Edit6->text(), "/pub/ドキュメント");
    EXPECT_EQ(again->ComboBox2->currentIndex(), 4);
    EXPECT_EQ(again->ComboBox3->currentIndex(), 5);
    EXPECT_TRUE(again->CheckBox3->isChecked());
    EXPECT_FALSE(again->CheckBox4->isChecked());
    EXPECT_TRUE(again->CheckBox6->isChecked());
    EXPECT_EQ(again->SpinEdit1->value(), -7);

    // A profile file without keys loads the defaults; the settings keys stay as saved.
    again->ComboBox1->setCurrentIndex(again->ComboBox1->findText("old"));
    ExpectProfileDefaults(*again);
    EXPECT_FALSE(again->CheckBox3->isChecked());
    EXPECT_TRUE(again->CheckBox6->isChecked());
}

TEST_F(TAppTest, LoadKeepsTheDefaultCaseSensitiveAndOutOfRangeListsEmpty) {
    WriteFile("wendup.ini", "[Default]\nProfile=ABC\nRegShortCut=1\n");
    WriteFile("abc.inf", "[Preferences]\nSameFileExist=5\nJapaneseCode=-1\n[User]\npassword=\n");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->CheckBox4->isChecked());
    EXPECT_EQ(form->ComboBox2->currentIndex(), -1);
    EXPECT_EQ(form->ComboBox3->currentIndex(), -1);
    EXPECT_EQ(form->Edit4->text(), "");
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("abc.inf", "Preferences", "SameFileExist"), "-1");
    EXPECT_EQ(Value("abc.inf", "Preferences", "JapaneseCode"), "-1");
}

TEST_F(TAppTest, PortThatIsNotAnIntegerStopsTheSaveAfterTheServerKey) {
    WriteFile("wendup.ini", "[Default]\nLastServer=\n");
    WriteFile("p.inf", "[Server]\nserver=old\n");
    auto form = Start({"/SET"});
    form->Edit1->setText("new.example");
    form->Edit2->setText("2l");
    form->Edit3->setText("someone");
    TModalAnswer answer(ClickYes);
    form->Button4->click();
    form->Button1->click();
    EXPECT_EQ(answer.Texts,
              QStringList({"'2l' は整数ではありません", "'2l' は整数ではありません"}));
    EXPECT_EQ(answer.Titles.value(0), "Error");
    EXPECT_EQ(form->Mode(), TForm1::SetupMode);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Value("wendup.ini", "Default", "LastServer"), "p");
    EXPECT_EQ(Value("p.inf", "Server", "server"), "new.example");
    EXPECT_EQ(Value("p.inf", "User", "user"), "(missing)");
}

TEST_F(TAppTest, ProfileFileThatCannotBeCreatedIsReported) {
    auto form = Start();
    form->ComboBox1->lineEdit()->setText("no-such-folder/x");
    TModalAnswer answer(ClickYes);
    EXPECT_FALSE(form->SaveSettings());
    EXPECT_EQ(answer.Texts, QStringList(QString::fromStdString(
                                "ファイル " + Home() + "no-such-folder/x.inf を作成できません")));
    EXPECT_FALSE(std::filesystem::exists(Path("no-such-folder")));
}

TEST_F(TAppTest, TextWithoutShiftJisFormStopsTheSaveBeforeAnyWrite) {
    auto form = Start();
    form->ComboBox1->lineEdit()->setText("p");
    form->Edit6->setText("/pub/\U0001F600");
    TModalAnswer answer(ClickYes);
    EXPECT_FALSE(form->SaveSettings());
    EXPECT_EQ(answer.Texts.size(), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("wendup.ini")));
    EXPECT_FALSE(std::filesystem::exists(Path("p.inf")));
}

TEST_F(TAppTest, RestrictedPasswordIsNeitherLoadedNorSaved) {
    WriteFile("wendup.ini", "[Restrictions]\nSavePassword=1\n[Default]\nProfile=p\n");
    WriteFile("p.inf", "[User]\nSavePassword=1\npassword=" + Sealed(GetMachineKey(), "pw") + "\n");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->CheckBox2->isEnabled());
    EXPECT_FALSE(form->Edit4->isEnabled());
    EXPECT_TRUE(form->CheckBox3->isEnabled());
    EXPECT_EQ(form->Edit4->text(), "");
    EXPECT_FALSE(form->CheckBox2->isChecked());
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("p.inf", "User", "password"), Sealed(GetMachineKey(), ""));
    EXPECT_EQ(Value("p.inf", "User", "SavePassword"), "0");
}

TEST_F(TAppTest, RestrictedDefaultShowsButCannotBeChangedAndSaveFollowsIt) {
    WriteFile("wendup.ini", "[Restrictions]\nEnableDefaultSetting=1\n[Default]\nProfile=b\n");
    WriteFile("a.inf", "");
    WriteFile("b.inf", "");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->CheckBox3->isEnabled());
    EXPECT_TRUE(form->CheckBox3->isChecked());
    form->ComboBox1->setCurrentIndex(0); // the user picks "a"
    EXPECT_FALSE(form->CheckBox3->isChecked());
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "");
}

TEST_F(TAppTest, DeleteMovesTheProfileToTheTrashAfterAsking) {
    WriteFile("wendup.ini", "[Default]\nProfile=b\n");
    WriteFile("a.inf", "[Server]\nserver=a.example\n");
    WriteFile("b.inf", "[Server]\nserver=b.example\n");
    auto form = Start({"/SET"});
    {
        TModalAnswer answer(ClickNo);
        form->Button5->click();
        ASSERT_EQ(answer.Texts.size(), 2);
        EXPECT_EQ(answer.Texts[1], "削除できませんでした。");
        EXPECT_EQ(answer.Titles[1], "Error");
    }
    EXPECT_EQ(form->ComboBox1->count(), 2);
    EXPECT_TRUE(std::filesystem::exists(Path("b.inf")));

    {
        TModalAnswer answer(ClickYes);
        form->Button5->click();
        EXPECT_EQ(answer.Texts.size(), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("b.inf")));
    EXPECT_TRUE(std::filesystem::exists(dataHome + "/Trash/files/b.inf"));
    ASSERT_EQ(form->ComboBox1->count(), 1);
    EXPECT_EQ(form->ComboBox1->currentText(), "a");
    EXPECT_EQ(form->Edit1->text(), "a.example");

    TModalAnswer answer(ClickYes);
    form->Button5->click();
    EXPECT_EQ(form->ComboBox1->count(), 0);
    EXPECT_EQ(form->ComboBox1->currentText(), "新規設定");
    EXPECT_EQ(form->Edit1->text(), "ftp.example.com");
    EXPECT_EQ(form->Edit3->text(), "username");
    EXPECT_TRUE(form->CheckBox4->isChecked());

    // A profile that was never saved cannot be deleted.
    form->Button5->click();
    EXPECT_EQ(answer.Texts.last(), "削除できませんでした。");
}

TEST_F(TAppTest, SendToEntryFollowsTheCheckBox) {
    WriteFile("wendup.ini", "");
    WriteFile("p.inf", "");
    auto form = Start({"/SET"});
    const QString entry = SendToEntryPath();
    ASSERT_EQ(entry.toStdString(), dataHome + "/applications/Wendup FTP.desktop");

    form->CheckBox4->setChecked(false);
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_FALSE(std::filesystem::exists(dataHome + "/applications"));

    form->CheckBox4->setChecked(true);
    ASSERT_TRUE(form->SaveSettings());
    const std::string text = ReadBytes(entry.toStdString());
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
    EXPECT_NE(
        text.find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\" %F\n"),
        std::string::npos);
    EXPECT_NE(text.find("MimeType=application/octet-stream;text/plain;\n"), std::string::npos);
    EXPECT_NE(text.find("NoDisplay=true\n"), std::string::npos);
    EXPECT_EQ(Value("wendup.ini", "Default", "RegShortCut"), "1");

    form->CheckBox4->setChecked(false);
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(std::filesystem::exists(dataHome + "/Trash/files/Wendup FTP.desktop"));
}

TEST(SendTo, ExecQuotesThePath) {
    const QString text = SendToEntryText("/opt/my \"odd\" $dir/100%/wendup");
    EXPECT_TRUE(text.contains("Exec=\"/opt/my \\\\\"odd\\\\\" \\\\$dir/100%%/wendup\" %F\n"))
        << text.toStdString();
}

TEST_F(TAppTest, KeyOptionsChangeTheKeyThatSealsPasswords) {
    const std::string keyFile = root.path().toStdString() + "/config/wendup/key";
    const std::string derived = GetMachineKey();

    TForm1 created({"/CreateKey:abcdEFGH"});
    EXPECT_EQ(ReadBytes(keyFile), "abcdEFGH");
    EXPECT_EQ(SealPassword(created.DES1, "pw"), Sealed("abcdEFGH", "pw"));
    EXPECT_NE(Sealed("abcdEFGH", "pw"), Sealed(derived, "pw"));

    TForm1 plain({});
    EXPECT_EQ(SealPassword(plain.DES1, "pw"), Sealed("abcdEFGH", "pw"));

    TForm1 cleared({"/clearkey"});
    EXPECT_FALSE(std::filesystem::exists(keyFile));
    EXPECT_EQ(SealPassword(cleared.DES1, "pw"), Sealed(derived, "pw"));

    TForm1 generated({"/createkey:"});
    const std::string key = ReadBytes(keyFile);
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(key.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(SealPassword(generated.DES1, "pw"), Sealed(key, "pw"));
}

TEST_F(TAppTest, PasswordSavedUnderAnotherKeyLoadsAsOtherBytes) {
    WriteFile("wendup.ini", "[Default]\nProfile=p\n");
    WriteFile("p.inf", "[User]\npassword=" + Sealed("otherkey", "secret") + "\n");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->Edit4->text().isEmpty());
    EXPECT_NE(form->Edit4->text(), "secret");
}

TEST_F(TAppTest, PortIsStoredAsADecimalInteger) {
    WriteFile("wendup.ini", "");
    WriteFile("p.inf", "");
    auto form = Start({"/SET"});
    struct {
        const char* typed;
        const char* stored; // nullptr: the save stops with the error box
    } const cases[] = {
        {"021", "21"},
        {"-1", "-1"},
        {"+80", "80"},
        {"2147483647", "2147483647"},
        {"2l", nullptr},
        {"+-5", nullptr},
        {"", nullptr},
        {" 21", nullptr},
        {"0x15", nullptr},
        {"２１", nullptr},
        {"99999999999", nullptr},
    };
    for (const auto& c : cases) {
        form->Edit2->setText(QString::fromUtf8(c.typed));
        TModalAnswer answer(ClickYes);
        const bool saved = form->SaveSettings();
        EXPECT_EQ(saved, c.stored != nullptr) << c.typed;
        if (c.stored) {
            EXPECT_EQ(Value("p.inf", "Server", "port"), c.stored);
        } else {
            EXPECT_EQ(answer.Texts, QStringList(QString("'%1' は整数ではありません").arg(c.typed)));
        }
    }
}
