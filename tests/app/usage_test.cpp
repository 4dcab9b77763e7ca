// The terminal options, through the real program: they answer on standard output without a display
// and open no window.
#include "app/japanese.h"
#include "app/usage.h"
#include "runprocess.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

TEST(InfoOption, OnlyAsTheOneArgument) {
    const struct {
        std::vector<std::string> args;
        TInfoOption option;
    } cases[] = {
        {{"--help"}, TInfoOption::Help},
        {{"--version"}, TInfoOption::Version},
        {{}, TInfoOption::None},
        {{"--help", "a.txt"}, TInfoOption::None}, // a file may carry any name
        {{"a.txt", "--version"}, TInfoOption::None},
        {{"--HELP"}, TInfoOption::None},
        {{"-h"}, TInfoOption::None},
        {{"/SET"}, TInfoOption::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InfoOption(c.args), c.option) << testing::PrintToString(c.args);
}

// The program with one argument, in a world without a display.
TProcessRun RunProgram(const QString& arg, const QProcessEnvironment& env) {
    return RunProcess(WENDUP_PROGRAM, {arg}, env);
}

class TerminalOptions : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WENDUP_HOME"})
            env.remove(name);
        env.insert("HOME", dir.path() + "/home");
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    }
    QTemporaryDir dir;
    QProcessEnvironment env;
};

// Everything the program might create, in the test's own folder.
QStringList Entries(const QString& folder) {
    QStringList found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.toStdString()))
        found << QString::fromStdString(entry.path().string());
    return found;
}

TEST_F(TerminalOptions, HelpAndVersionWriteNothing) {
    env.insert("XDG_STATE_HOME", dir.path() + "/state");
    env.insert("XDG_DATA_HOME", dir.path() + "/data");
    for (const char* option : {"--help", "--version"}) {
        const TProcessRun r = RunProgram(option, env);
        EXPECT_EQ(r.exitCode, 0) << option;
        EXPECT_FALSE(r.out.isEmpty()) << option;
        EXPECT_EQ(Entries(dir.path()), QStringList()) << option;
    }
}

TEST_F(TerminalOptions, VersionPrintsOneLine) {
    const TProcessRun r = RunProgram("--version", env);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Wendup FTP uploader " WENDUP_EXPECTED_VERSION "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(TerminalOptions, HelpNamesEveryOptionAndTheSettingsFolder) {
    const TProcessRun r = RunProgram("--help", env);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* option :
         {"/SERVER:", "/SET", "/NOMSG", "/createkey:", "/clearkey", "--help", "--version"})
        EXPECT_TRUE(r.out.contains(option)) << option;
    // The profile's TLS box, in one line.
    EXPECT_TRUE(r.out.contains("\nプロファイルの「FTPS (TLS)」: パスワードとファイルを TLS で暗号化"
                               "して送ります\n"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("設定フォルダ: " + dir.path() + "/config/wendup/\n"))
        << r.out.toStdString();
    EXPECT_EQ(r.err, "");

    env.insert("WENDUP_HOME", dir.path() + "/ポータブル");
    const TProcessRun home = RunProgram("--help", env);
    EXPECT_TRUE(home.out.contains("設定フォルダ: " + dir.path() + "/ポータブル/\n"))
        << home.out.toStdString();
}

// Qt's own texts: the standard buttons and the context menu of a text box.
TEST(QtJapanese, StandardTextsSpeakJapanese) {
    QTranslator* translator = InstallQtJapanese(*qApp);
    ASSERT_NE(translator, nullptr) << "qtbase_ja is not installed (qt6-translations-l10n)";
    {
        QMessageBox box(QMessageBox::Question, "t", "q",
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith("はい"));
        EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith("いいえ"));
        EXPECT_TRUE(box.button(QMessageBox::Cancel)->text().startsWith("キャンセル"));
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts << action->text();
        EXPECT_TRUE(texts.join('|').contains("貼り付け")) << texts.join('|').toStdString();
    }
    QCoreApplication::removeTranslator(translator);
    delete translator;
    QMessageBox english(QMessageBox::Question, "t", "q", QMessageBox::Yes);
    EXPECT_EQ(english.button(QMessageBox::Yes)->text(), "&Yes");
}

} // namespace
