#include "uploadtest.h"

#include "app/ftpfrm.h"
#include "crypto/deskey.h"
#include "crypto/desunit2.h"
#include "platform/codepage.h"

#include "eventloop.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <sys/time.h>

#include <filesystem>
#include <fstream>

namespace {

void SetTime(const std::string& path, std::time_t mtime) {
    const timeval times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimes(path.c_str(), times), 0) << path;
}

} // namespace

const char* KindName(TListingKind kind) {
    switch (kind) {
    case TListingKind::Mlsd:
        return "MLSD";
    case TListingKind::MdtmOnly:
        return "MDTM";
    case TListingKind::List:
        return "LIST";
    }
    return "?";
}

std::vector<std::string> FailureLinesOf(const std::string& errors) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = errors.find('\n', start)) != std::string::npos; start = end + 1)
        if (errors.compare(start, 8, "wendup: ") == 0)
            lines.push_back(errors.substr(start, end - start));
    return lines;
}

int CommandsInLog(const std::string& log, const std::string& command) {
    int count = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        if (log.compare(start, end - start, command) == 0) ++count;
    return count;
}

int CommandsStartingWith(const std::string& log, const std::string& prefix) {
    int count = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        if (log.compare(start, prefix.size(), prefix) == 0 && end - start >= prefix.size()) ++count;
    return count;
}

void TUploadTest::SetUp() {
    TAppTest::SetUp();
    // pyftpdlib lists times in UTC; the program compares them with local times.
    setenv("TZ", "UTC", 1);
    tzset();
    std::string why;
    if (!serverPem.isEmpty()) server.UseTls(serverPem);
    if (serverWithoutMdtm) server.Hide({"MDTM"});
    ASSERT_TRUE(server.Start(why, 0, "127.0.0.1", 0, 0, 0, serverWithoutMlst)) << why;
    local = root.path().toStdString() + "/local/";
    std::filesystem::create_directories(local);
    now = std::time(nullptr);
    const std::string runtime = root.path().toStdString() + "/runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    WriteFile("wendup.ini", "[Default]\nTimeOut=10\n[TextMode]\ntxt=1\n");
}

void TUploadTest::TearDown() {
    unsetenv("TZ");
    tzset();
    TAppTest::TearDown();
}

void TUploadTest::WriteProfile(const TProfile& p) {
    TDES des;
    des.SetKey(GetMachineKey());
    const std::string sealed = SealPassword(des, p.password);
    WriteFile("test.inf",
              "[Server]\nserver=" + p.server +
                  "\nport=" + std::to_string(p.port ? p.port : server.Port()) + "\nPWDImplement=" +
                  (p.pwd ? "1" : "0") + "\nPASVSupport=" + (p.pasv ? "1" : "0") +
                  (p.nameCode < 0 ? "" : "\nNameCode=" + std::to_string(p.nameCode)) +
                  "\nFTPS=" + (p.ftps ? "1" : "0") +
                  (p.trustedCert.empty() ? "" : "\nTrustedCert=" + p.trustedCert) +
                  "\n[User]\nanonymous=0\nuser=" + PyFtpServer::User + "\npassword=" + sealed +
                  "\nSavePassword=" + (p.savePassword ? "1" : "0") + "\nDefaultDir=" + p.dir +
                  "\n[Preferences]\nSameFileExist=" + std::to_string(p.policy) +
                  "\nJapaneseCode=" + std::to_string(p.mode) + "\n" +
                  (p.temp < 0 ? "" : "TempName=" + std::to_string(p.temp) + "\n") +
                  (p.keepTime < 0 ? "" : "KeepTime=" + std::to_string(p.keepTime) + "\n"));
}

std::string TUploadTest::Local(const std::string& name, const std::string& bytes,
                               std::optional<std::time_t> mtime) {
    const std::string path = local + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (mtime) SetTime(path, *mtime);
    return path;
}

void TUploadTest::Remote(const std::string& name, const std::string& bytes,
                         std::optional<std::time_t> mtime) {
    const std::string path = server.Root().toStdString() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (mtime) SetTime(path, *mtime);
}

void TUploadTest::RemoteFolder(const std::string& name) {
    std::filesystem::create_directories(server.Root().toStdString() + "/" + name);
}

std::optional<std::string> TUploadTest::Arrived(const std::string& name) const {
    std::ifstream in(server.Root().toStdString() + "/" + name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TRunResult TUploadTest::Run(const std::vector<std::string>& rest,
                            std::function<void(QWidget*)> answer, int timeoutMs,
                            std::function<void(TStartupWindows&)> during) {
    TRunResult result;
    std::vector<std::string> params = {"/SERVER:test"};
    params.insert(params.end(), rest.begin(), rest.end());
    const TForm1* shown = nullptr;
    TModalAnswer modal([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            result.boxes << box->text();
            if (shown) result.statusAtBoxes << shown->Panel2->text();
            ClickYes(box);
            return;
        }
        result.dialogs << w->objectName();
        if (answer)
            answer(w);
        else
            static_cast<QDialog*>(w)->reject();
    });
    testing::internal::CaptureStderr();
    {
        auto windows = std::make_unique<TStartupWindows>(ParamsFromArguments(params));
        TForm1& form = *windows->Form1;
        shown = &form;
        // A timer, so that it also runs inside the loops of a store.
        QTimer watch;
        if (during) {
            QObject::connect(&watch, &QTimer::timeout, [&] { during(*windows); });
            watch.start(5);
        }
        form.show();
        result.ended = RunUntil([&] { return !form.isVisible(); }, timeoutMs);
        watch.stop();
        result.exitStatus = form.ExitStatus();
        result.policyAtEnd = form.ComboBox2->currentIndex();
        form.FlushLog();
        result.log = form.Memo1->toPlainText().toStdString();
        for (const TFileOutcome& o : form.Outcomes())
            result.results.push_back(o.Result);
        form.close();
        shown = nullptr;
    }
    result.errors = testing::internal::GetCapturedStderr();
    // Whatever the server still does with the last connection is over before the files are read.
    DrainPostedEvents();
    return result;
}
