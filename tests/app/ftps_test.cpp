// FTPS through the program itself, offscreen: a profile with "FTPS" uploads over TLS in both modes,
// a certificate that fails the check is asked about in the trust dialog, whose answer the profile
// keeps, and only a run that speaks TLS loads the TLS library.
#include "uploadtest.h"

#include "dialogs/certfrm.h"
#include "platform/codepage.h"

#include "randombytes.h"
#include "scopedenv.h"
#include "testcerts.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>

#include <fstream>
#include <memory>
#include <string>

namespace {

class TFtpsUploadTest : public TUploadTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(certFolder.isValid());
        std::string why;
        ASSERT_TRUE(certs.Make(certFolder.path(), why)) << why;
        trustCa = std::make_unique<ScopedEnv>("SSL_CERT_FILE", certs.caFile.toStdString());
        serverPem = certs.serverPem;
        TUploadTest::SetUp();
    }

    // A second FTPS server with `pem`, and the profile pointed at it.
    std::uint16_t StartOther(PyFtpServer& other, const QString& pem, TProfile profile) {
        std::string why;
        other.UseTls(pem);
        EXPECT_TRUE(other.Start(why)) << why;
        WriteProfile(profile.Ftps().Port(other.Port()));
        return other.Port();
    }

    static std::string Stored(const PyFtpServer& on, const std::string& name) {
        QFile file(on.Root() + "/" + QString::fromStdString(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }

    QTemporaryDir certFolder;
    TestCertificates certs;
    std::unique_ptr<ScopedEnv> trustCa;
};

// The trust dialog, answered with its button `name`; what it showed is kept.
struct TTrustAnswer {
    const char* name;
    QString headline, reason, fingerprint;
    void operator()(QWidget* w) {
        auto* form = qobject_cast<TCertForm*>(w);
        ASSERT_NE(form, nullptr) << w->objectName().toStdString();
        headline = form->Label1->text();
        reason = form->Label2->text();
        fingerprint = form->Label6->text().replace('\n', ':');
        form->findChild<QAbstractButton*>(name)->click();
    }
};

// Whether libssl is mapped into this process, whatever its version.
bool LibsslLoaded() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("/libssl.so") != std::string::npos) return true;
    return false;
}

} // namespace

TEST_F(TFtpsUploadTest, OnlyARunThatSpeaksTlsLoadsTheTlsLibrary) {
    ASSERT_FALSE(LibsslLoaded()) << "loaded before any run";
    PyFtpServer plain;
    std::string why;
    ASSERT_TRUE(plain.Start(why)) << why;
    WriteProfile(TProfile().Policy(3).Port(plain.Port()));
    TRunResult run = Run({"/NOMSG", Local("plain.txt", "plain")});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_FALSE(LibsslLoaded());

    WriteProfile(TProfile().Policy(3).Ftps());
    run = Run({"/NOMSG", Local("secure.txt", "secure")});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Arrived("secure.txt"), "secure");
    EXPECT_TRUE(LibsslLoaded());
}

TEST_F(TFtpsUploadTest, StoresBinaryAndEucTextOverTlsInBothModes) {
    const std::string sjis = *Utf8ToSystem("日本語のテキスト\r\nｶﾀｶﾅ と ASCII\r\n");
    const std::string expectedEuc = [&] {
        std::string euc = IconvConvert("EUC-JP", "SHIFT_JIS", sjis).value_or("<iconv failed>");
        for (std::size_t at; (at = euc.find("\r\n")) != std::string::npos;)
            euc.erase(at, 1);
        return euc;
    }();
    const std::string binary = RandomBytes(3 << 20, 5);
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        TProfile profile = TProfile().Mode(5).Ftps();
        if (passive) profile.Passive();
        WriteProfile(profile);
        const std::string name = passive ? "p" : "a";
        const TRunResult run = Run(
            {"/NOMSG", Local(name + ".txt", sjis), Local(name + ".bin", binary)}, nullptr, 60000);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        EXPECT_TRUE(run.dialogs.isEmpty()); // the test's CA signed the certificate
        EXPECT_EQ(Arrived(name + ".txt"), expectedEuc);
        EXPECT_EQ(Arrived(name + ".bin"), binary);
        EXPECT_NE(run.log.find("AUTH TLS"), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("TLS TLSv1.3, cipher TLS_"), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("PROT P"), std::string::npos) << run.log;
        // The folder's one listing, and each file: all protected, all resuming.
        std::size_t resumed = 0;
        for (std::size_t at = 0;
             (at = run.log.find("Data connection protected: TLSv1.3, TLS session resumed", at)) !=
             std::string::npos;
             ++at)
            ++resumed;
        EXPECT_EQ(resumed, 3u) << run.log;
    }
}

TEST_F(TFtpsUploadTest, UntrustedCertificateIsAskedAboutAndTrustIsKept) {
    PyFtpServer other;
    StartOther(other, certs.selfSigned, TProfile().Policy(3));
    const std::string fingerprint = OpensslFingerprint(certs.selfSigned);

    TTrustAnswer cancel{"Button2", {}, {}, {}};
    TRunResult run = Run({Local("c.txt", "cancelled")}, std::ref(cancel));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs, QStringList{"CertForm"});
    EXPECT_EQ(cancel.reason, "理由: self-signed certificate");
    EXPECT_EQ(cancel.fingerprint.toStdString(), fingerprint);
    EXPECT_FALSE(cancel.headline.contains("変わっています"));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(Stored(other, "c.txt"), "<missing>");
    EXPECT_EQ(run.log.find("USER"), std::string::npos) << run.log;
    EXPECT_EQ(Value("test.inf", "Server", "TrustedCert"), "(missing)");

    TTrustAnswer trust{"Button1", {}, {}, {}};
    run = Run({Local("t.txt", "trusted")}, std::ref(trust));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs, QStringList{"CertForm"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Stored(other, "t.txt"), "trusted");
    EXPECT_EQ(Value("test.inf", "Server", "TrustedCert"), fingerprint);

    // Trusted now: no question, also not under "/NOMSG".
    run = Run({"/NOMSG", Local("again.txt", "again")});
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.dialogs.isEmpty());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Stored(other, "again.txt"), "again");
}

TEST_F(TFtpsUploadTest, AnotherCertificateThanTheTrustedOneIsAskedAboutAgain) {
    PyFtpServer other;
    StartOther(other, certs.otherSelfSigned,
               TProfile().Policy(3).Trusted(OpensslFingerprint(certs.selfSigned)));
    TTrustAnswer cancel{"Button2", {}, {}, {}};
    const TRunResult run = Run({Local("x.txt", "x")}, std::ref(cancel));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs, QStringList{"CertForm"});
    EXPECT_TRUE(cancel.headline.contains("変わっています")) << cancel.headline.toStdString();
    EXPECT_EQ(cancel.fingerprint.toStdString(), OpensslFingerprint(certs.otherSelfSigned));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(Stored(other, "x.txt"), "<missing>");
    // The trusted one stays what it was.
    EXPECT_EQ(Value("test.inf", "Server", "TrustedCert"), OpensslFingerprint(certs.selfSigned));
}

TEST_F(TFtpsUploadTest, UnderNomsgAnUntrustedCertificateFailsTheRunWithItsReason) {
    PyFtpServer other;
    StartOther(other, certs.selfSigned, TProfile().Policy(3));
    const std::string path = Local("n.txt", "n");
    const TRunResult run = Run({"/NOMSG", path});
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.dialogs.isEmpty());
    EXPECT_TRUE(run.boxes.isEmpty());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.errors.find("サーバーの証明書を信頼できません: self-signed certificate"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(Stored(other, "n.txt"), "<missing>");
}
