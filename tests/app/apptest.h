#pragma once
// The world of one window test: the program folder, the per-user folders and the current folder in
// a temporary folder, and answers for the modal dialogs the code under test opens.

#include "app/wendup.h"
#include "scopedenv.h"

#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

class TForm1;
class QWidget;

class TAppTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A file in the program folder from UTF-8 text: Shift_JIS bytes with CR LF line ends.
    void WriteFile(const std::string& name, const std::string& utf8) const;
    // A value of a file of the program folder; `name` and the result in UTF-8.
    std::string Value(const std::string& name, const char* section, const char* key) const;
    // The program folder, a host path ending in "/".
    std::string Home() const { return home; }
    std::string Path(const std::string& name) const { return home + name; }
    // The main window after its first showing with the parameters `params` (UTF-8).
    std::unique_ptr<TForm1> Start(const std::vector<std::string>& params = {});

    QTemporaryDir root;
    std::string home;
    std::string dataHome;

  private:
    std::vector<std::unique_ptr<ScopedEnv>> env;
    std::string oldCwd;
};

// Answers every modal dialog that opens while it lives: `answer` gets the dialog and must close it.
// A dialog still open after five seconds is rejected, so a test fails instead of hanging.
class TModalAnswer {
  public:
    explicit TModalAnswer(std::function<void(QWidget*)> answer);
    ~TModalAnswer();
    QStringList Texts; // the text of each message box seen, in order
    QStringList Titles;

  private:
    void Poll();
    std::function<void(QWidget*)> answer;
    QTimer timer;
    QPointer<QWidget> current;
    int ticks = 0;
};

// Answers for message boxes: the button of the role, or OK when the box has only that.
void ClickYes(QWidget* box);
void ClickNo(QWidget* box);
