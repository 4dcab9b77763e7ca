// Explicit TLS against a real FTPS server: pyftpdlib's TLS handler, which refuses USER before TLS
// and any data connection without PROT P, with certificates made by openssl for the test.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "pyftpserver.h"
#include "randombytes.h"
#include "scopedenv.h"
#include "testcerts.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

class FtpTlsRealServer : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        std::string why;
        ASSERT_TRUE(certs.Make(folder.path(), why)) << why;
        trustCa = std::make_unique<ScopedEnv>("SSL_CERT_FILE", certs.caFile.toStdString());
        ftp.UseTls = true;
        ftp.UserName = PyFtpServer::User;
        ftp.UserPassword = PyFtpServer::Password;
        ftp.SetFtpServer("127.0.0.1");
        ftp.TimeOutConnect = 20;
        ftp.OnFtpCertificate = [this](TStarFtp&, const TCertificateInfo& c, bool& trust) {
            questions.push_back(c);
            trust = trustAnswer;
        };
    }

    // Starts `server` with `pem` and logs in; true once logged in.
    bool LogIn(PyFtpServer& server, const QString& pem) {
        std::string why;
        server.UseTls(pem);
        if (!server.Start(why)) {
            ADD_FAILURE() << why;
            return false;
        }
        ftp.FtpPort = server.Port();
        rec.events.clear();
        rec.quits = 0;
        ftp.Login();
        const bool ended = RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }, 30000);
        DrainPostedEvents();
        return ended && rec.Saw("loggedin");
    }

    bool Store(const std::string& bytes, const std::string& remote) {
        const std::string path = folder.filePath(QString::fromStdString(remote)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        rec.events.clear();
        ftp.LocalFile = path;
        ftp.RemoteFile = remote;
        ftp.TransferMode = BinaryTransfer;
        ftp.StoreFile();
        if (!RunUntil([&] { return rec.Saw("stored") || rec.quits > 0; }, 60000)) return false;
        DrainPostedEvents();
        return rec.Saw("stored");
    }

    // The file names of a fresh listing, sorted; empty when it did not complete.
    std::vector<std::string> ListedNames() {
        rec.events.clear();
        ftp.GetListing();
        if (!RunUntil([&] { return rec.Saw("listed") || rec.quits > 0; }, 30000)) return {};
        DrainPostedEvents();
        std::vector<std::string> names = ftp.FileNames;
        std::sort(names.begin(), names.end());
        return names;
    }

    std::size_t Count(const std::string& prefix) const {
        return static_cast<std::size_t>(
            std::count_if(rec.events.begin(), rec.events.end(),
                          [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
    }

    std::size_t Index(const std::string& event) const {
        return static_cast<std::size_t>(std::find(rec.events.begin(), rec.events.end(), event) -
                                        rec.events.begin());
    }

    QTemporaryDir folder;
    TestCertificates certs;
    std::unique_ptr<ScopedEnv> trustCa;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
    std::vector<TCertificateInfo> questions;
    bool trustAnswer = false;
};

std::string OnServer(const PyFtpServer& server, const std::string& name) {
    QFile file(server.Root() + "/" + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

const char kResumed[] = "info ftpiDataConnection Data connection protected: TLSv1.3, TLS session "
                        "resumed";

} // namespace

TEST_F(FtpTlsRealServer, LogsInOverTlsAndStoresAndListsInBothModes) {
    PyFtpServer server;
    ASSERT_TRUE(LogIn(server, certs.serverPem));
    // The server refuses USER in clear: logged in means USER and PASS went inside TLS.
    EXPECT_LT(Index("sent AUTH TLS\r\n"), Index("sent USER anna\r\n"));
    EXPECT_LT(Index("sent PASS s3cret\r\n"), Index("sent PBSZ 0\r\n"));
    EXPECT_LT(Index("sent PBSZ 0\r\n"), Index("sent PROT P\r\n"));
    EXPECT_LT(Index("sent PROT P\r\n"), Index("sent SYST\r\n"));
    EXPECT_EQ(Count("info ftpiLogNote TLS TLSv1.3, cipher TLS_"), 1u);
    EXPECT_TRUE(questions.empty()); // the CA signed it for 127.0.0.1
    EXPECT_EQ(ftp.Certificate().Fingerprint, OpensslFingerprint(certs.serverPem));

    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.PassiveMode = passive;
        const std::string prefix = passive ? "p" : "a";
        for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{3} << 20}) {
            SCOPED_TRACE(size);
            const std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + passive);
            const std::string name = prefix + std::to_string(size);
            ASSERT_TRUE(Store(bytes, name));
            EXPECT_TRUE(ftp.Success());
            EXPECT_EQ(OnServer(server, name), bytes);
            // File bytes, not what TLS added.
            EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(size));
            EXPECT_EQ(Count(kResumed), 1u);
        }
        const std::vector<std::string> names = ListedNames();
        const std::vector<std::string> expected =
            passive ? std::vector<std::string>{"a0", "a1", "a3145728", "p0", "p1", "p3145728"}
                    : std::vector<std::string>{"a0", "a1", "a3145728"};
        EXPECT_EQ(names, expected);
        EXPECT_EQ(Count(kResumed), 1u);
    }
}

TEST_F(FtpTlsRealServer, UntrustedCertificateIsAskedAboutAndRefusalSendsNoUser) {
    PyFtpServer server;
    EXPECT_FALSE(LogIn(server, certs.selfSigned));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].Problem, "self-signed certificate");
    EXPECT_EQ(questions[0].Fingerprint, OpensslFingerprint(certs.selfSigned));
    EXPECT_EQ(questions[0].Subject, "CN=127.0.0.1");
    EXPECT_TRUE(rec.Saw("error ftpeCertificateRejected self-signed certificate"));
    EXPECT_EQ(Count("sent USER"), 0u);
    EXPECT_EQ(Count("sent PASS"), 0u);
    EXPECT_EQ(ftp.TlsFailure(), "self-signed certificate");

    // Trusted: the session goes on, and the same certificate is not asked about again.
    trustAnswer = true;
    rec.quits = 0;
    rec.events.clear();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }, 30000));
    EXPECT_TRUE(rec.Saw("loggedin"));
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(ftp.TrustedCertificate, OpensslFingerprint(certs.selfSigned));
    ASSERT_TRUE(Store("kept", "trusted.txt"));
    EXPECT_EQ(OnServer(server, "trusted.txt"), "kept");

    trustAnswer = false;
    rec.events.clear();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }, 30000));
    EXPECT_TRUE(rec.Saw("loggedin"));
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(FtpTlsRealServer, ACertificateForAnotherAddressFailsTheCheck) {
    PyFtpServer server;
    ftp.SetFtpServer("localhost"); // the certificate names only IP 127.0.0.1
    EXPECT_FALSE(LogIn(server, certs.serverPem));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].Problem, "hostname mismatch");
    EXPECT_EQ(Count("sent USER"), 0u);
}

// A store cancelled in the middle: ABOR goes inside TLS (no urgent bytes, which would break the
// TLS stream), the store fails, and the session goes on with the next one.
TEST_F(FtpTlsRealServer, CancelledStoreEndsAndTheSessionGoesOn) {
    PyFtpServer server;
    ASSERT_TRUE(LogIn(server, certs.serverPem));
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.PassiveMode = passive;
        const TFtpInfoEvent record = ftp.OnFtpInfo;
        int blocks = 0;
        ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
            record(f, info, addinfo);
            if (info == ftpiProgress && ++blocks == 50) f.Abort();
        };
        ASSERT_TRUE(Store(RandomBytes(std::size_t{32} << 20, 3), "cut.bin"));
        ftp.OnFtpInfo = record;
        EXPECT_FALSE(ftp.Success());
        EXPECT_TRUE(rec.Saw("sent ABOR\r\n"));
        EXPECT_LT(ftp.BytesTransferred, std::int64_t{32} << 20);
        const std::string bytes = RandomBytes(100000, 4);
        ASSERT_TRUE(Store(bytes, "next.bin"));
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(OnServer(server, "next.bin"), bytes);
    }
}

// A listing of many TLS records, more than one read event takes: bytes the TLS link has decrypted
// but not handed out yet are read too, and every entry is seen once.
TEST_F(FtpTlsRealServer, BigListingKeepsEveryEntry) {
    PyFtpServer server;
    std::vector<std::string> expected;
    ASSERT_TRUE(LogIn(server, certs.serverPem));
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "entry number " + std::to_string(i) + ".dat";
        QFile file(server.Root() + "/" + QString::fromStdString(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.PassiveMode = passive;
        EXPECT_EQ(ListedNames(), expected);
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(Count(kResumed), 1u);
    }
}
