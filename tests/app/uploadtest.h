#pragma once
// An upload session run through the program's own windows, offscreen, against pyftpdlib on
// 127.0.0.1 (or a scripted server), with every dialog answered by the test.

#include "app/session.h"
#include "app/wendup.h"
#include "apptest.h"
#include "pyftpserver.h"

#include <QStringList>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct TProfile {
    int policy = 3;  // SameFileExist
    int mode = 1;    // JapaneseCode
    bool pwd = true; // PWDImplement
    std::string dir; // DefaultDir, UTF-8
    bool savePassword = true;
    std::string password = PyFtpServer::Password;
    int port = 0; // 0: the fixture's server
    std::string server = "127.0.0.1";
    bool pasv = false;       // PASVSupport
    int temp = -1;           // TempName: 0 or 1; -1 leaves it out (the program's default)
    int keepTime = -1;       // KeepTime: 0 or 1; -1 leaves it out (the program's default)
    int nameCode = -1;       // NameCode: 0..3; -1 leaves it out (the program's default)
    bool ftps = false;       // FTPS
    std::string trustedCert; // TrustedCert; left out when empty

    TProfile& Policy(int v) { return policy = v, *this; }
    TProfile& Mode(int v) { return mode = v, *this; }
    TProfile& NoPwd() { return pwd = false, *this; }
    TProfile& Dir(std::string v) { return dir = std::move(v), *this; }
    TProfile& Prompt() { return savePassword = false, *this; }
    TProfile& Password(std::string v) { return password = std::move(v), *this; }
    TProfile& Port(int v) { return port = v, *this; }
    TProfile& Server(std::string v) { return server = std::move(v), *this; }
    TProfile& Passive() { return pasv = true, *this; }
    TProfile& TempName(bool v) { return temp = v, *this; }
    TProfile& KeepTime(bool v) { return keepTime = v, *this; }
    TProfile& NameCode(int v) { return nameCode = v, *this; }
    TProfile& Ftps() { return ftps = true, *this; }
    TProfile& Trusted(std::string v) { return trustedCert = std::move(v), *this; }
};

// How the server lists a folder and tells a file's time: MLSD; LIST, with MDTM for exact times;
// LIST alone.
enum class TListingKind { Mlsd, MdtmOnly, List };
inline constexpr TListingKind AllListingKinds[] = {TListingKind::Mlsd, TListingKind::MdtmOnly,
                                                   TListingKind::List};
const char* KindName(TListingKind kind);
inline void PrintTo(TListingKind kind, std::ostream* os) {
    *os << KindName(kind);
}

// The standard-error lines of the program itself.
std::vector<std::string> FailureLinesOf(const std::string& errors);

// The lines of a protocol log that are exactly `command`, and those that start with `prefix`.
int CommandsInLog(const std::string& log, const std::string& command);
int CommandsStartingWith(const std::string& log, const std::string& prefix);

struct TRunResult {
    bool ended = false; // the main window closed
    int exitStatus = -1;
    std::string errors;               // standard error
    QStringList boxes;                // texts of the message boxes, in order
    QStringList statusAtBoxes;        // the status line while each box was shown
    int policyAtEnd = -1;             // the same-file policy (ComboBox2) when the window closed
    QStringList dialogs;              // object names of the other modal dialogs, in order
    std::string log;                  // Memo1
    std::vector<TFileResult> results; // each file's outcome, in order
};

class TUploadTest : public TAppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    void WriteProfile(const TProfile& profile);
    // A local file under the test's folder; `name` may hold folders (UTF-8). Returns its path.
    std::string Local(const std::string& name, const std::string& bytes,
                      std::optional<std::time_t> mtime = std::nullopt);
    // A file (or, with `folder`, a folder) in the server's root; `name` may hold folders.
    void Remote(const std::string& name, const std::string& bytes,
                std::optional<std::time_t> mtime = std::nullopt);
    void RemoteFolder(const std::string& name);
    // What arrived; nullopt when the file is not there.
    std::optional<std::string> Arrived(const std::string& name) const;

    // Starts the program with "/SERVER:test" and `rest` and runs it until its window closes.
    // `answer` gets each modal dialog other than a message box (which is answered with OK);
    // `during` runs every few milliseconds while the program runs.
    TRunResult Run(const std::vector<std::string>& rest,
                   std::function<void(QWidget*)> answer = nullptr, int timeoutMs = 20000,
                   std::function<void(TStartupWindows&)> during = nullptr);

    PyFtpServer server;
    // Set before SetUp (in a fixture's constructor): the server has neither MLST nor MLSD.
    bool serverWithoutMlst = false;
    // Set before SetUp: nor MDTM; with serverWithoutMlst the server tells no exact time at all.
    bool serverWithoutMdtm = false;
    // Before SetUp: the server lists and tells times as `kind` says.
    void ServeListingKind(TListingKind kind) {
        serverWithoutMlst = kind != TListingKind::Mlsd;
        serverWithoutMdtm = kind == TListingKind::List;
    }
    // Set before SetUp: the server is an FTPS server with this certificate and key.
    QString serverPem;
    std::string local; // folder of the local files, ending in "/"
    std::time_t now = 0;
};
