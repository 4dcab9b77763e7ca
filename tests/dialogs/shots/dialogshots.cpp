// Saves a PNG of each dialog of an upload, filled as during a session, into the folder named by
// the first argument (each name ends in the second argument, if any). Used by scripts/screenshot.
// The questions are shown as during an upload, with the progress dialog open over the status
// window; each is saved on its own and, as "screen-NAME", with the whole screen around it, which
// shows whether the progress dialog hides any of it.
#include "dialogs/certfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"
#include "platform/codepage.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <cstdio>

namespace {

QString folder, suffix;
bool failed = false;

void Save(const QPixmap& picture, const QString& name) {
    const QString path = folder + "/" + name + suffix + ".png";
    if (!picture.save(path)) {
        std::fprintf(stderr, "dialogshots: cannot write %s\n", qPrintable(path));
        failed = true;
    }
}

// The window alone, and with `screen` also the screen as it shows it. Shown as a program shows
// it, without raising it.
void Shoot(QWidget& window, const char* name, bool screen = false, bool keep = false) {
    window.show();
    // Let the window system map and paint it.
    const QDeadlineTimer settle(600);
    while (!settle.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    Save(window.grab(), name);
    if (screen) Save(window.screen()->grabWindow(0), QString("screen-") + name);
    if (!keep) window.hide();
}

// The system code page's bytes of a text, as the dialogs take them.
std::string Sjis(const char* utf8) {
    return QStringToSystem(QString::fromUtf8(utf8)).value_or(std::string());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialogshots FOLDER [SUFFIX]\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    // The status window of an upload, in the middle of the screen, with the progress dialog over
    // it; both stay while the questions are shot.
    QWidget status;
    status.setWindowTitle("Wendup FTP uploader");
    status.setFixedSize(200, 100);
    status.move(status.screen()->availableGeometry().center() - status.rect().center());
    status.show();
    TProgress progress(&status);
    progress.show();
    progress.SetRunFiles(2, 5, 3460210);
    progress.StartFile(Sjis("/home/yamada/写真/photo.jpg"),
                       Sjis("'写真' から 'ftp.example.co.jp:/home/yamada/public_html'へ"), 1048576);
    for (int i = 1; i <= 75; ++i)
        progress.UpdateProgress(i * 5000, i * 100);
    Shoot(progress, "progress", false, true);

    const QDateTime remote(QDate(2001, 2, 3), QTime(4, 5, 6));
    const QDateTime local(QDate(2026, 12, 7), QTime(10, 30, 0));
    for (bool last : {false, true}) {
        TForm2 file(&status);
        if (last) file.LastFileLayout();
        file.SetFileName("index.html");
        file.SetRemoteFile("12345", last ? QDateTime() : remote);
        file.SetLocalFile("/home/yamada/www/index.html", 13002, local);
        Shoot(file, last ? "overwrite-file-last" : "overwrite-file", true);
    }
    TForm3 folderQuestion(&status);
    folderQuestion.SetFolderName("images");
    Shoot(folderQuestion, "overwrite-folder", true);

    TForm4 rename("ftp.example.co.jp", "/public_html", ftpstUNIX,
                  {"total 9", "drwxr-xr-x  2 yamada users     4096 Dec  1 09:12 .",
                   "drwxr-xr-x  2 yamada users     4096 Dec  1 09:12 ..",
                   "drwxr-xr-x  2 yamada users     4096 Nov 30 18:03 images",
                   "-rw-r--r--  1 yamada users    13002 Dec  7 10:30 index.html",
                   "-rw-r--r--  1 yamada users      812 Oct  2  2025 about.htm",
                   "-rw-r--r--  1 yamada users    53248 Dec  5 22:41 photo.jpg",
                   "-rw-r--r--  1 yamada users     1204 Dec  6 08:00 " + Sjis("お知らせ.txt"),
                   "-rw-r--r--  1 yamada users     2911 Sep 14  2024 logo.gif",
                   "-rw-r--r--  1 yamada users      120 Jan  3  2023 README",
                   "-rw-r--r--  1 yamada users 20971520 Dec  7 23:59 backup-2026-12.tar.gz",
                   "-rw-r--r--  1 yamada users     4410 Dec  2 11:20 style.css",
                   "-rw-r--r--  1 yamada users     9001 Dec  2 11:21 menu.js"},
                  &status);
    rename.Edit2->setText("index.html");
    Shoot(rename, "rename-list", true);
    rename.SpeedButton2->click();
    Shoot(rename, "rename-details");

    TPasswordDlg password(&status);
    password.show();
    for (QChar c : QString("secret")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, c);
        QApplication::sendEvent(password.Password, &key);
    }
    Shoot(password, "password", true);

    // The trust question before the login of an FTPS profile, for a certificate seen the first
    // time and for one that differs from the certificate trusted before.
    TCertificateInfo certificate;
    certificate.Problem = "self-signed certificate";
    certificate.Subject = "CN=ftp.example.co.jp,O=Example Hosting";
    certificate.Issuer = certificate.Subject;
    certificate.NotBefore = "2026-04-01 00:00:00 UTC";
    certificate.NotAfter = "2027-03-31 23:59:59 UTC";
    certificate.Fingerprint = "3F:9A:C2:71:0B:5E:D4:88:16:E7:2A:9C:40:B3:65:1D:"
                              "F0:7E:A9:23:5C:C8:91:04:BD:62:3A:E5:7F:18:D0:4C";
    for (bool changed : {false, true}) {
        TCertForm trust(&status);
        trust.SetCertificate(certificate, changed);
        Shoot(trust, changed ? "certificate-changed" : "certificate", true);
    }
    return failed ? 1 : 0;
}
