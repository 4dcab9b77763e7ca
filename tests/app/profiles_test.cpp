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
#include <sys/stat.h>

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
    EXPECT_FALSE(form.CheckBox9->isChecked()); // FTPS absent: off
    EXPECT_FALSE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.Edit5->isEnabled());
    EXPECT_EQ(form.Edit3->text(), "anonymous");
    EXPECT_EQ(form.Edit4->text(), "");
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_EQ(form.Edit5->text(), "anonymous@example.com");
    EXPECT_EQ(form.Edit6->text(), "");
    EXPECT_EQ(form.ComboBox2->currentIndex(), 3);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
    EXPECT_EQ(form.ComboBox4->currentIndex(), 0); // 自動, also without the key
    EXPECT_TRUE(form.CheckBox8->isChecked());     // a user login
    EXPECT_TRUE(form.CheckBox10->isChecked());    // KeepTime absent: on
}

} // namespace

TEST_F(TAppTest, FirstStartShowsDesignValuesThenTypingANewNameKeepsThemAndSaveCreatesFiles) {
    auto form = Start();
    ASSERT_EQ(form->Mode(), TForm1::SetupMode);
    EXPECT_EQ(form->Edit1->text(), "ftp.example.com");
    EXPECT_EQ(form->Edit2->text(), "21");
    EXPECT_EQ(form->Edit3->text(), "");
    EXPECT_TRUE(form->CheckBox4->isChecked());
    EXPECT_EQ(form->SpinEdit1->value(), 30);
    // The lists start on what a profile without their keys reads: "上書きする", "自動(設定に従う)".
    EXPECT_EQ(form->ComboBox2->currentText(), "上書きする");
    EXPECT_EQ(form->ComboBox3->currentText(), "自動(設定に従う)");
    EXPECT_TRUE(form->NoFolderQuestion);

    // What was typed before the name survives every keystroke of a name that is no profile yet.
    form->Edit1->setText("typed before the name");
    form->Edit3->setText("yamada");
    for (const char* typed : {"サ", "サー", "サーバ"}) {
        form->ComboBox1->lineEdit()->setText(typed);
        EXPECT_EQ(form->Edit1->text(), "typed before the name") << typed;
        EXPECT_EQ(form->Edit3->text(), "yamada") << typed;
        EXPECT_TRUE(form->CheckBox4->isChecked()) << typed;
        EXPECT_EQ(form->ComboBox2->currentIndex(), 3) << typed;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("wendup.ini"))) << "typing wrote a file";

    form->CheckBox4->setChecked(false);
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ReadBytes(Path("wendup.ini")),
              "[Default]\r\nProfile=\r\nRegShortCut=0\r\nLastServer=" + *Utf8ToSystem("サーバ") +
                  "\r\nMakeDir=0\r\nTimeOut=30\r\n\r\n[TextMode]\r\ntxt=1\r\nhtm=1\r\n"
                  "html=1\r\ncss=1\r\njs=1\r\ncsv=1\r\nxml=1\r\nphp=1\r\ncgi=1\r\npl=1\r\n\r\n");
    EXPECT_EQ(Value("サーバ.inf", "Preferences", "SameFileExist"), "3");
    EXPECT_EQ(Value("サーバ.inf", "Preferences", "JapaneseCode"), "0");
    EXPECT_EQ(Value("サーバ.inf", "Server", "server"), "typed before the name");
    EXPECT_EQ(Value("サーバ.inf", "User", "user"), "yamada");
    EXPECT_EQ(Value("サーバ.inf", "User", "password"), "");
}

TEST_F(TAppTest, TypingTheNameOfASavedProfileLoadsIt) {
    WriteFile("wendup.ini", "[Default]\nProfile=ab\nRegShortCut=1\n");
    WriteFile("ab.inf", "[Server]\nserver=ab.example\n");
    WriteFile("a.inf", "[Server]\nserver=a.example\n");
    auto form = Start({"/SET"});
    form->ComboBox1->lineEdit()->setText("new");
    form->Edit1->setText("typed");
    form->CheckBox4->setChecked(false);
    EXPECT_EQ(form->Edit1->text(), "typed");
    const struct {
        const char* typed;
        const char* server; // Edit1 afterwards
        bool isDefault;     // "デフォルト" afterwards
    } steps[] = {
        {"a", "a.example", false},   {"a/", "a.example", false},   {"ab", "ab.example", true},
        {"abc", "ab.example", true}, {"../a", "ab.example", true}, {"", "ab.example", true},
        {"a", "a.example", false},
    };
    for (const auto& s : steps) {
        form->ComboBox1->lineEdit()->setText(s.typed);
        EXPECT_EQ(form->Edit1->text(), s.server) << s.typed;
        EXPECT_EQ(form->CheckBox3->isChecked(), s.isDefault) << s.typed;
        EXPECT_TRUE(form->CheckBox4->isChecked()) << s.typed;
    }
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
    form->ComboBox4->setCurrentIndex(3);
    form->CheckBox3->setChecked(true);
    form->CheckBox4->setChecked(false);
    form->CheckBox6->setChecked(true);
    form->SpinEdit1->setValue(-7);
    form->CheckBox8->setChecked(false);
    form->CheckBox9->setChecked(true);
    form->CheckBox10->setChecked(false);
    ASSERT_TRUE(form->SaveSettings());

    const std::string sealed = Sealed(GetMachineKey(), *Utf8ToSystem("秘密pass"));
    ASSERT_EQ(sealed.size(), 258u);
    const std::string expected =
        "[Server]\r\nserver=ftp.example.net\r\nport=21\r\nPWDImplement=0\r\n"
        "PASVSupport=1\r\nNameCode=3\r\nFTPS=1\r\n\r\n[User]\r\nanonymous=1\r\nuser=" +
        *Utf8ToSystem("山田") + "\r\npassword=" + sealed +
        "\r\nemail=me@example.net\r\nSavePassword=1\r\nDefaultDir=" +
        *Utf8ToSystem("/pub/ドキュメント") +
        "\r\n\r\n[Preferences]\r\nSameFileExist=4\r\nJapaneseCode=5\r\nTempName=0\r\n"
        "KeepTime=0\r\n\r\n";
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
    EXPECT_TRUE(again->CheckBox9->isChecked());
    EXPECT_TRUE(again->CheckBox1->isChecked());
    EXPECT_TRUE(again->Edit5->isEnabled());
    EXPECT_EQ(again->Edit3->text(), "山田");
    EXPECT_EQ(again->Edit4->text(), "秘密pass");
    EXPECT_TRUE(again->CheckBox2->isChecked());
    EXPECT_EQ(again->Edit5->text(), "me@example.net");
    EXPECT_EQ(again->Edit6->text(), "/pub/ドキュメント");
    EXPECT_EQ(again->ComboBox2->currentIndex(), 4);
    EXPECT_EQ(again->ComboBox3->currentIndex(), 5);
    EXPECT_EQ(again->ComboBox4->currentIndex(), 3);
    EXPECT_TRUE(again->CheckBox3->isChecked());
    EXPECT_FALSE(again->CheckBox4->isChecked());
    EXPECT_TRUE(again->CheckBox6->isChecked());
    EXPECT_EQ(again->SpinEdit1->value(), -7);
    EXPECT_FALSE(again->CheckBox8->isChecked());
    EXPECT_FALSE(again->CheckBox10->isChecked());

    // A profile file without keys loads the defaults; the settings keys stay as saved.
    again->ComboBox1->setCurrentIndex(again->ComboBox1->findText("old"));
    ExpectProfileDefaults(*again);
    EXPECT_FALSE(again->CheckBox3->isChecked());
    EXPECT_TRUE(again->CheckBox6->isChecked());
}

// "KeepTime" rides along: on when absent, for any login.
TEST_F(TAppTest, TemporaryNamesAreOnForUserLoginsUnlessTheProfileSays) {
    const struct {
        const char* anonymous; // the profile's "anonymous" line, if any
        const char* tempName;  // its "TempName" line, if any
        bool ticked;
        const char* keepTime; // its "KeepTime" line, if any
        bool kept;
    } cases[] = {
        {"", "", true, "", true},
        {"anonymous=0\n", "", true, "KeepTime=0\n", false},
        {"anonymous=1\n", "", false, "", true},
        {"anonymous=0\n", "TempName=0\n", false, "KeepTime=1\n", true},
        {"anonymous=1\n", "TempName=0\n", false, "KeepTime=0\n", false},
        {"anonymous=0\n", "TempName=1\n", true, "KeepTime=2\n", true},
        {"anonymous=1\n", "TempName=1\n", true, "KeepTime=x\n", true},   // not a number: default
        {"anonymous=1\n", "TempName=x\n", false, "keeptime=0\n", false}, // keys in any case
    };
    WriteFile("wendup.ini", "");
    WriteFile("other.inf", "[User]\nanonymous=1\n[Preferences]\nTempName=0\nKeepTime=0\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.anonymous) + c.tempName + c.keepTime);
        WriteFile("p.inf", std::string("[User]\n") + c.anonymous + "[Preferences]\n" + c.tempName +
                               c.keepTime);
        auto form = Start({"/SET"});
        ASSERT_EQ(form->ComboBox1->currentText(), "other");
        EXPECT_FALSE(form->CheckBox8->isChecked());
        EXPECT_FALSE(form->CheckBox10->isChecked());
        form->ComboBox1->setCurrentIndex(form->ComboBox1->findText("p"));
        ASSERT_EQ(form->ComboBox1->currentText(), "p");
        EXPECT_EQ(form->CheckBox8->isChecked(), c.ticked);
        EXPECT_EQ(form->CheckBox10->isChecked(), c.kept);
        ASSERT_TRUE(form->SaveSettings());
        EXPECT_EQ(Value("p.inf", "Preferences", "TempName"), c.ticked ? "1" : "0");
        EXPECT_EQ(Value("p.inf", "Preferences", "KeepTime"), c.kept ? "1" : "0");
        // Loading another profile replaces the choice, and coming back restores it.
        form->ComboBox1->setCurrentIndex(form->ComboBox1->findText("other"));
        EXPECT_FALSE(form->CheckBox8->isChecked());
        EXPECT_FALSE(form->CheckBox10->isChecked());
        form->ComboBox1->setCurrentIndex(form->ComboBox1->findText("p"));
        EXPECT_EQ(form->CheckBox8->isChecked(), c.ticked);
        EXPECT_EQ(form->CheckBox10->isChecked(), c.kept);
    }
    // A new profile is a user login, and keeps times.
    auto form = Start({"/SET"});
    ASSERT_FALSE(form->CheckBox8->isChecked());
    ASSERT_FALSE(form->CheckBox10->isChecked());
    form->Button3->click();
    EXPECT_TRUE(form->CheckBox8->isChecked());
    EXPECT_TRUE(form->CheckBox10->isChecked());
}

TEST_F(TAppTest, LoadKeepsTheDefaultCaseSensitiveAndOutOfRangeListsEmpty) {
    WriteFile("wendup.ini", "[Default]\nProfile=ABC\nRegShortCut=1\n");
    WriteFile("abc.inf", "[Server]\nNameCode=4\n[Preferences]\nSameFileExist=5\nJapaneseCode=-1\n"
                         "[User]\npassword=\n");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->CheckBox4->isChecked());
    EXPECT_EQ(form->ComboBox2->currentIndex(), -1);
    EXPECT_EQ(form->ComboBox3->currentIndex(), -1);
    EXPECT_EQ(form->ComboBox4->currentIndex(), -1);
    EXPECT_EQ(form->Edit4->text(), "");
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("abc.inf", "Preferences", "SameFileExist"), "-1");
    EXPECT_EQ(Value("abc.inf", "Preferences", "JapaneseCode"), "-1");
    EXPECT_EQ(Value("abc.inf", "Server", "NameCode"), "-1");
}

TEST_F(TAppTest, PortThatIsNotAnIntegerStopsTheSaveBeforeAnyWrite) {
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
    EXPECT_EQ(ReadBytes(Path("wendup.ini")), "[Default]\r\nLastServer=\r\n");
    EXPECT_EQ(ReadBytes(Path("p.inf")), "[Server]\r\nserver=old\r\n");
    EXPECT_FALSE(std::filesystem::exists(dataHome + "/applications")) << "the entry was written";
}

TEST_F(TAppTest, SettingsFolderThatCannotBeMadeIsReported) {
    // A file stands where the per-user folder should be made; not even root can make it.
    ScopedEnv portable("WENDUP_HOME", "");
    const std::string config = root.path().toStdString() + "/config";
    std::filesystem::remove_all(config);
    std::ofstream(config) << "a file";
    auto form = Start();
    form->ComboBox1->lineEdit()->setText("p");
    TModalAnswer answer(ClickYes);
    EXPECT_FALSE(form->SaveSettings());
    EXPECT_EQ(answer.Texts, QStringList(QString::fromStdString(
                                "ファイル " + config + "/wendup/wendup.ini を作成できません")));
}

TEST_F(TAppTest, ProfileNamesThatAreNoFileNameAreRefusedBeforeAnyWrite) {
    const char* const refused[] = {"",       ".",         "..",       "../x",   "a/b",
                                   "/tmp/x", "tab\there", "ctl\x01x", "del\x7f"};
    for (const char* name : refused) {
        auto form = Start();
        form->ComboBox1->lineEdit()->setText(QString::fromUtf8(name));
        form->Edit4->setText("secret");
        form->CheckBox2->setChecked(true);
        TModalAnswer answer(ClickYes);
        form->Button1->click();
        EXPECT_TRUE(form->isVisible()) << name;
        ASSERT_EQ(answer.Texts.size(), 1) << name;
        EXPECT_TRUE(answer.Texts[0].contains("プロファイル名に使えません")) << name;
        EXPECT_EQ(answer.Titles[0], "Error");
    }
    // Nothing anywhere we write to: no settings, no profile (not even beside the program folder),
    // no file-manager entry. (The toolkit keeps its file picker's state in the config folder.)
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(root.path().toStdString()))
        EXPECT_TRUE(entry.is_directory() || entry.path().filename() == "QtProject.conf")
            << entry.path();

    // Names that only look odd are file names all the same.
    auto form = Start();
    for (const char* name : {"...", ".hidden", "a.b", "社内 サーバ", "a\\b", "表"}) {
        form->ComboBox1->lineEdit()->setText(QString::fromUtf8(name));
        ASSERT_TRUE(form->SaveSettings()) << name;
        EXPECT_TRUE(std::filesystem::exists(Path(std::string(name) + ".inf"))) << name;
    }
}

TEST_F(TAppTest, ProfileNamesThatAreNoFileNameAreNeverDeleted) {
    WriteFile("wendup.ini", "");
    WriteFile("p.inf", "");
    std::ofstream(root.path().toStdString() + "/outside.inf") << "[Server]\r\n";
    auto form = Start({"/SET"});
    form->ComboBox1->lineEdit()->setText("../outside");
    TModalAnswer answer(ClickYes);
    form->Button5->click();
    EXPECT_EQ(answer.Texts, QStringList("削除できませんでした。"));
    EXPECT_TRUE(std::filesystem::exists(root.path().toStdString() + "/outside.inf"));
}

TEST_F(TAppTest, PasswordIsKeptOnlyWhenSaveIsTicked) {
    WriteFile("wendup.ini", "");
    WriteFile("p.inf", "[User]\nSavePassword=1\npassword=" + Sealed(GetMachineKey(), "old") + "\n");
    auto form = Start({"/SET"});
    ASSERT_EQ(form->Edit4->text(), "old");
    const struct {
        bool save;
        const char* typed;
        bool kept;
    } cases[] = {{true, "pw", true}, {false, "pw", false}, {true, "", true}, {false, "", false}};
    for (const auto& c : cases) {
        form->CheckBox2->setChecked(c.save);
        form->Edit4->setText(c.typed);
        ASSERT_TRUE(form->SaveSettings());
        EXPECT_EQ(Value("p.inf", "User", "password"),
                  c.kept ? Sealed(GetMachineKey(), c.typed) : "")
            << c.save << c.typed;
        EXPECT_EQ(Value("p.inf", "User", "SavePassword"), c.save ? "1" : "0");
    }
}

TEST_F(TAppTest, NewFilesArePrivateAndExistingOnesKeepTheirMode) {
    WriteFile("shared.inf", "");
    ASSERT_EQ(::chmod(Path("shared.inf").c_str(), 0644), 0);
    const mode_t oldMask = ::umask(0);
    auto form = Start({"/SET"});
    form->ComboBox1->lineEdit()->setText("new");
    const bool saved = form->SaveSettings();
    form->ComboBox1->lineEdit()->setText("shared");
    const bool savedShared = form->SaveSettings();
    ::umask(oldMask);
    ASSERT_TRUE(saved && savedShared);
    const struct {
        const char* name;
        mode_t mode;
    } files[] = {{"wendup.ini", 0600}, {"new.inf", 0600}, {"shared.inf", 0644}};
    for (const auto& f : files) {
        struct stat st;
        ASSERT_EQ(::stat(Path(f.name).c_str(), &st), 0) << f.name;
        EXPECT_EQ(st.st_mode & 07777, f.mode) << f.name;
    }
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
    EXPECT_EQ(Value("p.inf", "User", "password"), "");
    EXPECT_EQ(Value("p.inf", "User", "SavePassword"), "0");
}

TEST_F(TAppTest, RestrictedDefaultShowsButCannotBeChangedAndSavingAnotherProfileKeepsIt) {
    WriteFile("wendup.ini", "[Restrictions]\nEnableDefaultSetting=1\n[Default]\nProfile=b\n");
    WriteFile("a.inf", "");
    WriteFile("b.inf", "");
    auto form = Start({"/SET"});
    EXPECT_FALSE(form->CheckBox3->isEnabled());
    EXPECT_TRUE(form->CheckBox3->isChecked());
    form->ComboBox1->setCurrentIndex(0); // the user picks "a"
    EXPECT_FALSE(form->CheckBox3->isChecked());
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "b");
}

TEST_F(TAppTest, TheDefaultChangesOnlyByItsBox) {
    WriteFile("wendup.ini", "[Default]\nProfile=b\n[TextMode]\n");
    WriteFile("a.inf", "");
    WriteFile("b.inf", "");
    WriteFile("c.inf", "");
    auto form = Start({"/SET"});
    ASSERT_EQ(form->ComboBox1->currentText(), "b");
    form->ComboBox1->setCurrentIndex(0);
    ASSERT_EQ(form->ComboBox1->currentText(), "a");
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "b") << "saving a cleared the default";
    form->CheckBox3->setChecked(true);
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "a");
    form->CheckBox3->setChecked(false); // the user clears the default's box
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_EQ(Value("wendup.ini", "Default", "Profile"), "");
    // A stored file keeps its text-mode list as it is, empty here.
    EXPECT_EQ(ReadTextModeList(), std::vector<std::string>());
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
    EXPECT_EQ(text.find("MimeType="), std::string::npos);
    EXPECT_NE(text.find("NoDisplay=true\n"), std::string::npos);
    EXPECT_EQ(Value("wendup.ini", "Default", "RegShortCut"), "1");

    form->CheckBox4->setChecked(false);
    ASSERT_TRUE(form->SaveSettings());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(std::filesystem::exists(dataHome + "/Trash"));
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
