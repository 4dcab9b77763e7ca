#include "app/wendup.h"

#include "app/ftpfrm.h"
#include "app/japanese.h"
#include "app/usage.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/modefrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>

std::string Param(const TParams& params, std::size_t k) {
    return k >= 1 && k <= params.size() ? params[k - 1] : std::string();
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return upper;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

bool IsServerOption(std::string_view param) {
    return AsciiUpper(param.substr(0, 8)) == "/SERVER:";
}

std::string ServerOptionName(std::string_view param) {
    return IsServerOption(param) ? std::string(param.substr(8)) : std::string();
}

bool IsSetOption(std::string_view param) {
    return AsciiUpper(param) == "/SET";
}

bool NoMessages(const TParams& params) {
    return AsciiUpper(Param(params, 2)) == "/NOMSG";
}

TKeyRequest KeyOption(const TParams& params) {
    if (params.size() != 1) return {};
    const std::string& p1 = params[0];
    const std::string lower = AsciiLower(p1);
    // The key text is whatever follows the option's 11 characters at the start of the parameter,
    // as it was typed.
    if (lower.find("/createkey:") != std::string::npos)
        return {TKeyOption::CreateKey, p1.size() > 11 ? p1.substr(11) : std::string()};
    if (lower.find("/clearkey") != std::string::npos) return {TKeyOption::ClearKey, {}};
    return {};
}

bool FilesFromPicker(const TParams& params) {
    return params.empty() || (params.size() == 1 && IsServerOption(params[0]));
}

void AddMatchingFiles(std::string_view pattern, std::vector<std::string>& list) {
    const std::string folder(FolderPart(pattern));
    for (const TSearchEntry& entry : FindEntries(pattern))
        if (!entry.Directory) list.push_back(folder + entry.Name);
}

void AddCommandLineFiles(const TParams& params, std::vector<std::string>& list) {
    for (std::size_t k = 1; k <= params.size(); ++k) {
        const std::string& p = params[k - 1];
        if (k == 1 && IsServerOption(p)) continue;
        if (k == 2 && NoMessages(params)) continue;
        const std::vector<TSearchEntry> found = FindEntries(p);
        // A folder named whole was handed over by the user: it goes on the list, where it fails
        // with its reason instead of vanishing.
        if (found.size() == 1 && found.front().Directory &&
            std::string(FolderPart(p)) + found.front().Name == p) {
            list.push_back(p);
            continue;
        }
        AddMatchingFiles(p, list);
    }
}

TParams ParamsFromArguments(const std::vector<std::string>& arguments,
                            std::vector<std::string>& refused) {
    TParams params;
    for (const std::string& arg : arguments) {
        if (auto sjis = Utf8ToSystem(arg)) {
            params.push_back(std::move(*sjis));
        } else {
            params.emplace_back();
            refused.push_back(arg);
        }
    }
    return params;
}

TStartupWindows::TStartupWindows(TParams params)
    : Form1(std::make_unique<TForm1>(std::move(params))),
      Progress(std::make_unique<TProgress>(Form1.get())),
      PasswordDlg(std::make_unique<TPasswordDlg>()), Form3(std::make_unique<TForm3>()),
      Form5(std::make_unique<TForm5>()) {
    Form1->Progress = Progress.get();
    Form1->PasswordDlg = PasswordDlg.get();
    Form1->Form3 = Form3.get();
    Form1->Form5 = Form5.get();
}

TStartupWindows::~TStartupWindows() = default;

int WendupMain(int argc, char** argv) {
    // The toolkit sees no arguments: every one of them is ours, and a file may be named like one
    // of its options.
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    int qtArgc = 1;
    if (const TInfoOption info = InfoOption(arguments); info != TInfoOption::None) {
        // No window: a terminal without a display is enough.
        QCoreApplication core(qtArgc, argv);
        return PrintInfo(info);
    }
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("Wendup FTP uploader");
    QApplication::setDesktopFileName(WENDUP_APP_ID);
    QApplication::setWindowIcon(QIcon::fromTheme("wendup"));
    InstallQtJapanese(app);

    std::vector<std::string> refused;
    const TParams params = ParamsFromArguments(arguments, refused);
    // Such an argument cannot name its file: it is told like any file that did not arrive.
    for (const std::string& name : refused) {
        std::fprintf(stderr, "wendup: %s: Shift_JIS で表せない文字を含むため転送できません\n",
                     name.c_str());
        if (!NoMessages(params))
            QMessageBox::critical(nullptr, "Error",
                                  QString("'%1' は Shift_JIS で表せない文字を含むため使えません")
                                      .arg(QString::fromUtf8(name.c_str())));
    }
    std::fflush(stderr);

    TStartupWindows windows(params);
    windows.Form1->show();
    const int code = app.exec();
    // A script or the file manager learns from the exit status whether every file arrived.
    if (code != 0) return code;
    return refused.empty() ? windows.Form1->ExitStatus() : 1;
}
