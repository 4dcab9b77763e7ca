#include "apptest.h"

#include "app/ftpfrm.h"
#include "app/myinifile.h"
#include "platform/codepage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <unistd.h>

void TAppTest::SetUp() {
    ASSERT_TRUE(root.isValid());
    const std::string base = root.path().toStdString();
    home = base + "/program/";
    dataHome = base + "/data";
    for (const char* dir : {"/program", "/config", "/data", "/home", "/cwd"})
        std::filesystem::create_directories(base + dir);
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"WENDUP_HOME", home},
                                      {"XDG_CONFIG_HOME", base + "/config"},
                                      {"XDG_DATA_HOME", dataHome},
                                      {"XDG_STATE_HOME", base + "/state"},
                                      // No desktop's bus: a test that wants one starts its own.
                                      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + base + "/no-bus"},
                                      {"HOME", base + "/home"}})
        env.push_back(std::make_unique<ScopedEnv>(name, value));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd = cwd;
    ASSERT_EQ(chdir((base + "/cwd").c_str()), 0);
}

void TAppTest::TearDown() {
    if (!oldCwd.empty()) {
        EXPECT_EQ(chdir(oldCwd.c_str()), 0);
    }
    env.clear();
}

void TAppTest::WriteFile(const std::string& name, const std::string& utf8) const {
    std::string crlf;
    for (char c : utf8) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const auto sjis = Utf8ToSystem(crlf);
    ASSERT_TRUE(sjis.has_value());
    std::ofstream(home + name, std::ios::binary) << *sjis;
}

std::string TAppTest::Value(const std::string& name, const char* section, const char* key) const {
    const TMyMemIniFile ini(*Utf8ToSystem(home + name));
    const std::string missing = "(missing)";
    return SystemToUtf8(ini.ReadString(section, key, missing)).value_or("(not CP932)");
}

std::unique_ptr<TForm1> TAppTest::Start(const std::vector<std::string>& params) {
    auto form = std::make_unique<TForm1>(ParamsFromArguments(params));
    form->show();
    return form;
}

TModalAnswer::TModalAnswer(std::function<void(QWidget*)> answer) : answer(std::move(answer)) {
    QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
    timer.start(10);
}

TModalAnswer::~TModalAnswer() {
    timer.stop();
}

void TModalAnswer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        current = nullptr;
        return;
    }
    if (modal != current) {
        current = modal;
        ticks = 0;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Texts << box->text();
            Titles << box->windowTitle();
        }
        answer(modal);
        // Closed at once: whatever is modal next is a new dialog, even at the same address.
        if (!modal->isVisible()) current = nullptr;
        return;
    }
    if (++ticks > 500) {
        ADD_FAILURE() << "a modal dialog stayed open";
        static_cast<QDialog*>(modal)->reject();
    }
}

void ClickYes(QWidget* box) {
    auto* b = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(b, nullptr);
    QAbstractButton* yes = b->button(QMessageBox::Yes);
    (yes ? yes : b->button(QMessageBox::Ok))->click();
}

void ClickNo(QWidget* box) {
    auto* b = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(b, nullptr);
    QAbstractButton* no = b->button(QMessageBox::No);
    (no ? no : b->button(QMessageBox::Ok))->click();
}
