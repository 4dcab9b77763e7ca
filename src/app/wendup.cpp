#include "app/wendup.h"

#include "app/ftpfrm.h"
#include "app/japanese.h"
#include "app/usage.h"
#include "dialogs/controls.h"
#include "platform/progdir.h"

#include <QApplication>
#include <QClipboard>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

TStartupWindows::TStartupWindows(TParams params)
    : Form1(std::make_unique<TForm1>(std::move(params))) {}

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
    SetWindowPlaceFile(QString::fromStdString(UserStateFolder()) + "/windows.ini");

    const TParams params = ParamsFromArguments(arguments);
    TStartupWindows windows(params);
    windows.Form1->show();
    const int code = app.exec();
    // A script or the file manager learns from the exit status whether every file arrived.
    const int status = code != 0 ? code : windows.Form1->ExitStatus();
    // Everything a run leaves is written by now: the files, the log, the places of the windows,
    // standard error. Taking the windows and the toolkit apart would only keep the caller waiting;
    // unless the program holds the clipboard, which the toolkit hands on as it ends.
    if (!QGuiApplication::clipboard()->ownsClipboard()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
