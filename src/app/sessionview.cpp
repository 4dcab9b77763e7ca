// The main window's side of the upload session: the client set up from the controls, and the
// questions, status line and log that the session asks of the window.

#include "app/ftpfrm.h"

#include "app/myinifile.h"
#include "app/settings.h"
#include "dialogs/certfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"
#include "platform/notify.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

std::string Cut(const QString& text, std::size_t bytes) {
    return QStringToSystem(text).value_or(std::string()).substr(0, bytes);
}

// Both overwrite questions leave their Answer at 3 when they are cancelled or closed.
TOverwriteAnswer AnswerOf(std::uint8_t answer) {
    switch (answer) {
    case 0:
        return TOverwriteAnswer::Yes;
    case 1:
        return TOverwriteAnswer::No;
    case 2:
        return TOverwriteAnswer::All;
    default:
        return TOverwriteAnswer::Cancel;
    }
}

} // namespace

void TForm1::ConnectStarFtp1() {
    StarFtp1.OnLoggedIn = [this](TStarFtp&) { StarFtp1LoggedIn(); };
    StarFtp1.OnDirectoryChanged = [this](TStarFtp&) { StarFtp1DirectoryChanged(); };
    StarFtp1.OnDirectoryCreated = [this](TStarFtp&) { StarFtp1DirectoryCreated(); };
    StarFtp1.OnListingDone = [this](TStarFtp&) { StarFtp1ListingDone(); };
    StarFtp1.OnFileStored = [this](TStarFtp&) { StarFtp1FileStored(); };
    StarFtp1.OnFileTimeRead = [this](TStarFtp&) { StarFtp1FileTimeRead(); };
    StarFtp1.OnFtpQuit = [this](TStarFtp&) { StarFtp1FtpQuit(); };
    StarFtp1.OnFtpInfo = [this](TStarFtp&, FtpInfo info, const std::string& addinfo) {
        StarFtp1FtpInfo(info, addinfo);
    };
    StarFtp1.OnFtpError = [this](TStarFtp&, FtpError error, const std::string&) {
        StarFtp1FtpError(error);
    };
    StarFtp1.OnFtpCertificate = [this](TStarFtp&, const TCertificateInfo& certificate,
                                       bool& trust) { StarFtp1Certificate(certificate, trust); };
}

void TForm1::StartUpload() {
    const auto port = ParseInteger(Edit2->text());
    if (!port) {
        ErrorBox(QString("'%1' は整数ではありません").arg(Edit2->text()));
        return;
    }
    StarFtp1.SetFtpServer(Cut(Edit1->text(), 40));
    StarFtp1.FtpPort = static_cast<std::uint16_t>(*port);
    StarFtp1.PWDImplemented = CheckBox5->isChecked();
    StarFtp1.PassiveMode = CheckBox7->isChecked();
    // Without a choice the server's own features decide.
    StarFtp1.NameCode =
        ComboBox4->currentIndex() < 0 ? ncAuto : static_cast<TNameCode>(ComboBox4->currentIndex());
    StarFtp1.UseTls = CheckBox9->isChecked();
    StarFtp1.TrustedCertificate = trustedCert;
    StarFtp1.TimeOutConnect = TimeOutSeconds();
    StarFtp1.UserAccount.clear();
    bool passwordTyped = false;
    if (CheckBox1->isChecked()) {
        StarFtp1.UserName = "anonymous";
        StarFtp1.UserPassword = Cut(Edit5->text(), 60);
    } else {
        StarFtp1.UserName = Cut(Edit3->text(), 40);
        if (CheckBox2->isChecked()) {
            StarFtp1.UserPassword = Cut(Edit4->text(), 40);
        } else {
            const auto password = AskPassword();
            if (!password) {
                close();
                return;
            }
            StarFtp1.UserPassword = *password;
            passwordTyped = true;
        }
    }
    StarFtp1.InitialDirectory = Cut(Edit6->text(), 255);
    StarFtp1.UseTempName = CheckBox8->isChecked();
    StarFtp1.KeepModifiedTime = CheckBox10->isChecked();
    runLog.Open();
    if (session.Start(passwordTyped)) {
        SetMode(ConnectingMode);
        HoldPaint();
    }
}

// The first paint loads the fonts: milliseconds that the login's replies would wait for. It comes
// once the server is busy with the listing, or after a tenth of a second at the latest.
void TForm1::HoldPaint() {
    setUpdatesEnabled(false);
    QTimer::singleShot(100, this, [this] { ReleasePaint(); });
}

void TForm1::ReleasePaint() {
    if (!updatesEnabled()) setUpdatesEnabled(true);
}

void TForm1::AppendLog(const QString& line) {
    runLog.Append(line);
    if (mode == LogView)
        Memo1->appendPlainText(line);
    else
        logBacklog.append(line);
}

void TForm1::FlushLog() {
    if (logBacklog.isEmpty()) return;
    Memo1->appendPlainText(logBacklog.join('\n'));
    logBacklog.clear();
}

TFilePolicy TForm1::FilePolicy() const {
    return {ComboBox2->currentIndex(), CheckBox6->isChecked(), NoFolderQuestion};
}

int TForm1::TransferModeIndex() const {
    return ComboBox3->currentIndex();
}

void TForm1::OverwriteFromNowOn() {
    ComboBox2->setCurrentIndex(3);
}

void TForm1::NoMoreFolderQuestions() {
    NoFolderQuestion = true;
}

std::optional<QStringList> TForm1::PickFiles() {
    QFileDialog* picker = OpenDialog();
    // With whole folders on, a folder can be chosen too. A desktop's own picker cannot take a
    // button of ours, so Qt's is used then: "フォルダを選択" takes the folders selected in it, or
    // the folder it shows when none is.
    const bool folders = StarFtp1.PWDImplemented && CheckBox6->isChecked();
    picker->setOption(QFileDialog::DontUseNativeDialog, folders);
    QStringList chosenFolders;
    std::unique_ptr<QPushButton> folderButton;
    auto* buttons = folders ? picker->findChild<QDialogButtonBox*>() : nullptr;
    if (buttons) {
        folderButton = std::make_unique<QPushButton>("フォルダを選択");
        folderButton->setObjectName("FolderButton");
        buttons->addButton(folderButton.get(), QDialogButtonBox::ActionRole);
        connect(folderButton.get(), &QPushButton::clicked, picker, [&] {
            // selectedFiles() leaves selected folders out in this mode: the view has them.
            QStringList candidates = picker->selectedFiles();
            if (auto* view = picker->findChild<QAbstractItemView*>("listView"))
                for (const QModelIndex& row : view->selectionModel()->selectedRows())
                    candidates << row.data(QFileSystemModel::FilePathRole).toString();
            for (const QString& path : candidates)
                if (QFileInfo(path).isDir() && !chosenFolders.contains(path)) chosenFolders << path;
            if (chosenFolders.isEmpty()) chosenFolders << picker->directory().absolutePath();
            // Not accept(): Qt's picker would open a selected folder instead of ending.
            static_cast<QDialog*>(picker)->done(QDialog::Accepted);
        });
    }
    const int result = picker->exec();
    folderButton.reset();
    if (result != QDialog::Accepted) return std::nullopt;
    return chosenFolders.isEmpty() ? picker->selectedFiles() : chosenFolders;
}

TOverwriteAnswer TForm1::AskOverwrite(const std::string& path, const TListingMatch& match,
                                      bool lastFile) {
    TForm2 form2(this);
    form2.SetFileName(ServerTextToHost(match.RemoteName, StarFtp1.Utf8Names()));
    form2.SetRemoteFile(match.RemoteSize, match.RemoteModified);
    form2.SetLocalFile(path, match.LocalSize, match.LocalModified);
    if (lastFile) form2.LastFileLayout();
    form2.Answer = 3;
    form2.exec();
    return AnswerOf(form2.Answer);
}

std::optional<std::string> TForm1::AskRename(const std::string& path) {
    TForm4 rename(StarFtp1, this);
    rename.Edit2->setText(QString::fromStdString(std::string(NamePart(path))));
    if (rename.exec() != QDialog::Accepted) return std::nullopt;
    return rename.Name().value_or(std::string());
}

TOverwriteAnswer TForm1::AskFolder(const std::string& remoteName) {
    TForm3 form3(this);
    form3.SetFolderName(ServerTextToHost(remoteName, StarFtp1.Utf8Names()));
    form3.Answer = 3;
    form3.exec();
    return AnswerOf(form3.Answer);
}

std::optional<std::string> TForm1::AskPassword() {
    TPasswordDlg& prompt = PasswordPrompt();
    prompt.Password->clear();
    if (prompt.exec() != QDialog::Accepted) return std::nullopt;
    return QStringToSystem(prompt.Password->text()).value_or(std::string());
}

bool TForm1::AskTrustCertificate(const TCertificateInfo& certificate, bool changed) {
    TCertForm form(this);
    form.SetCertificate(certificate, changed);
    form.exec();
    return form.Trusted;
}

void TForm1::KeepTrustedCertificate(const std::string& fingerprint) {
    trustedCert = fingerprint;
    if (loadedProfile.empty()) return;
    try {
        TMyMemIniFile ini(ProfileFilePath(loadedProfile));
        ini.WriteString("Server", "TrustedCert", fingerprint);
    } catch (const EIniFileError& e) {
        AppendLog(QString("ファイル %1 を作成できません").arg(SystemToQString(e.Path)));
    }
}

void TForm1::ShowStatus(const QString& text) {
    Panel2->setText(text);
}

void TForm1::ShowError(const QString& text) {
    ErrorBox(text);
}

TProgress* TForm1::NewProgress() {
    ReleasePaint();
    auto* progress = new TProgress(this);
    progress->OnShowLog = [this](TProgress&) { Button7Click(); };
    return progress;
}

void TForm1::RunFinished(const std::vector<TFileOutcome>& outcomes) {
    const TRunCounts counts = CountOutcomes(outcomes);
    const QString text = CountsText(counts);
    runLog.Append(text);
    for (const QString& line :
         QString::fromStdString(FailureLines(outcomes)).split('\n', Qt::SkipEmptyParts))
        runLog.Append(line);
    runLog.Close();
    if (outcomes.empty()) return;
    // The end of a run is told even when the window closes without a word.
    SendDesktopNotification(
        {"Wendup FTP uploader", "wendup", WENDUP_APP_ID,
         counts.Failed > 0 ? "転送できなかったファイルがあります" : "転送が終わりました", text});
}

void TForm1::ShowStopping() {
    Panel2->setText("中止しています...");
    Button9->setEnabled(false);
}
