// Our DES against OpenSSL's, for random keys, vectors, lengths and modes. Skipped where there is no
// openssl program; DES needs its legacy provider in OpenSSL 3.
#include "desrun.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <random>

namespace {

Bytes OpenSslEncipher(const QString& program, TCipherMode mode, const Bytes& key, const Bytes& iv,
                      const Bytes& plain) {
    static const char* const names[] = {"-des-ecb", "-des-cbc", "-des-cfb"};
    QStringList args = {"enc",    names[mode], "-provider",
                        "legacy", "-provider", "default",
                        "-nopad", "-K",        QString::fromStdString(ToHex(key))};
    if (mode != ECBMode) args << "-iv" << QString::fromStdString(ToHex(iv));
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) return {};
    p.write(reinterpret_cast<const char*>(plain.data()), qint64(plain.size()));
    p.closeWriteChannel();
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "openssl failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    const QByteArray out = p.readAllStandardOutput();
    return Bytes(out.begin(), out.end());
}

TEST(DesOpenSsl, RandomKeysBlocksAndModesAgree) {
    const QString openssl = QStandardPaths::findExecutable("openssl");
    if (openssl.isEmpty()) GTEST_SKIP() << "openssl is not installed";

    std::mt19937 rng(20261207);
    auto randomBytes = [&](std::size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = std::uint8_t(rng());
        return b;
    };
    const std::size_t lengths[] = {1, 8, 13, 64, 517, 4095};
    for (int round = 0; round < 36; ++round) {
        const TCipherMode mode = TCipherMode(round % 3);
        const Bytes key = randomBytes(8), iv = randomBytes(8);
        const Bytes plain = randomBytes(lengths[round / 3 % 6] + std::size_t(round % 2));
        SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " key " << ToHex(key) << " iv "
                                        << ToHex(iv) << " length " << plain.size());
        TDES des;
        des.SetKey(AsText(key));
        des.CipherMode = mode;
        des.IVector = AsText(iv);
        const Bytes ours = RunBytes(des, true, plain);

        // OpenSSL gets the zero padding explicitly; CFB needs none.
        Bytes padded = plain;
        if (mode != CFBMode) padded.resize((plain.size() + 7) / 8 * 8, 0);
        ASSERT_EQ(ours, OpenSslEncipher(openssl, mode, key, iv, padded));

        Bytes back = RunBytes(des, false, ours);
        EXPECT_EQ(back, padded);
    }
}

} // namespace
