#include "desrun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <new>
#include <numeric>

namespace {

Bytes Counting(std::size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), std::uint8_t(1));
    return b;
}

TEST(DesModes, EcbPadsToWholeBlocksWithZeroBytes) {
    TDES des;
    des.SetKey("password");
    des.CipherMode = ECBMode;
    const Bytes cipher = RunBytes(des, true, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(des.InputLength, 8);
    EXPECT_EQ(cipher, EcbBlock("70617373776F7264", "68656C6C6F000000"));
    EXPECT_EQ(RunBytes(des, false, cipher), (Bytes{'h', 'e', 'l', 'l', 'o', 0, 0, 0}));
}

TEST(DesModes, RoundTripsOfOddLengthsInEveryMode) {
    for (TCipherMode mode : {ECBMode, CBCMode, CFBMode}) {
        for (std::size_t n : {1u, 7u, 8u, 9u, 13u, 64u, 4095u, 4096u}) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " length " << n);
            TDES des;
            des.SetKey("k3y-for-tests");
            des.CipherMode = mode;
            des.IVector = "initvect";
            const Bytes plain = Counting(n);
            const Bytes cipher = RunBytes(des, true, plain);
            const std::size_t expected = mode == CFBMode ? n : (n + 7) / 8 * 8;
            ASSERT_EQ(cipher.size(), expected);
            EXPECT_NE(Bytes(cipher.begin(), cipher.begin() + 1),
                      Bytes(plain.begin(), plain.begin() + 1));
            Bytes back = RunBytes(des, false, cipher);
            back.resize(n);
            EXPECT_EQ(back, plain);
        }
    }
}

TEST(DesModes, EmptyInputWritesNothing) {
    for (TCipherMode mode : {ECBMode, CBCMode, CFBMode}) {
        SCOPED_TRACE(int(mode));
        TDES des;
        des.SetKey("anything");
        des.CipherMode = mode;
        Bytes out(8, 0xEE);
        des.InputType = SourceString;
        des.InputString = "";
        des.OutputBuffer = out.data();
        des.Encipher(false);
        EXPECT_EQ(des.InputLength, 0);
        des.InputType = SourceByteArray;
        des.InputBuffer = nullptr;
        des.Decipher(false);
        EXPECT_EQ(des.InputLength, 0);
        EXPECT_EQ(out, Bytes(8, 0xEE));
    }
}

TEST(DesModes, EmptyIVectorGetsARandomPrintableOneThatStays) {
    TDES des;
    des.SetKey("cbc-key!");
    des.CipherMode = CBCMode;
    const Bytes plain = Counting(20);
    const Bytes cipher = RunBytes(des, true, plain);
    ASSERT_EQ(des.IVector.size(), 8u);
    for (char c : des.IVector) {
        EXPECT_GE(c, 0x21);
        EXPECT_LE(c, 0x7D);
    }
    // The same component keeps the vector for a fresh run ...
    Bytes back = RunBytes(des, false, cipher);
    back.resize(plain.size());
    EXPECT_EQ(back, plain);
    // ... another needs to be given it; without it the first block comes out wrong.
    TDES other;
    other.SetKey("cbc-key!");
    other.CipherMode = CBCMode;
    other.IVector = des.IVector;
    EXPECT_EQ(RunBytes(other, false, cipher), RunBytes(des, false, cipher));
    TDES stranger;
    stranger.SetKey("cbc-key!");
    stranger.CipherMode = CBCMode;
    stranger.IVector = des.IVector == "AAAAAAAA" ? "BBBBBBBB" : "AAAAAAAA";
    const Bytes wrong = RunBytes(stranger, false, cipher);
    EXPECT_NE(Bytes(wrong.begin(), wrong.begin() + 8), Bytes(plain.begin(), plain.begin() + 8));
    EXPECT_EQ(Bytes(wrong.begin() + 8, wrong.begin() + 16),
              Bytes(plain.begin() + 8, plain.begin() + 16));
}

TEST(DesModes, KeyReadyContinuesTheChain) {
    for (TCipherMode mode : {ECBMode, CBCMode, CFBMode}) {
        SCOPED_TRACE(int(mode));
        TDES whole, parts;
        for (TDES* d : {&whole, &parts}) {
            d->SetKey("chainkey");
            d->CipherMode = mode;
            d->IVector = "vector!!";
        }
        const Bytes plain = Counting(43);
        const Bytes all = RunBytes(whole, true, plain);
        Bytes joined = RunBytes(parts, true, Bytes(plain.begin(), plain.begin() + 16));
        const Bytes rest = RunBytes(parts, true, Bytes(plain.begin() + 16, plain.end()), true);
        joined.insert(joined.end(), rest.begin(), rest.end());
        EXPECT_EQ(joined, all);
    }
}

TEST(DesModes, KeyReadyWithoutAnEarlierRunStartsTheChain) {
    // No key was ever set up, so the round keys are those of the all-zero key; the chain starts
    // from IVector instead of a register that does not exist yet.
    TDES continued, fresh;
    for (TDES* d : {&continued, &fresh}) {
        d->CipherMode = CBCMode;
        d->IVector = "iv-iv-iv";
    }
    continued.SetKey("whatever");
    EXPECT_EQ(RunBytes(continued, true, Counting(16), true), RunBytes(fresh, true, Counting(16)));
}

TEST(DesKey, ParityBitsAndBytesAfterTheEighthDoNotCount) {
    const Bytes block = FromHex("0123456789ABCDEF");
    auto encipher = [&](const std::string& key) {
        TDES des;
        des.SetKey(key);
        des.CipherMode = ECBMode;
        return RunBytes(des, true, block);
    };
    const Bytes base = encipher("\x10\x32\x54\x76\x98\xBA\xDC\xFE");
    EXPECT_EQ(encipher("\x11\x33\x55\x77\x99\xBB\xDD\xFF"), base);
    EXPECT_EQ(encipher("\x10\x33\x54\x77\x98\xBB\xDC\xFF"), base);
    EXPECT_EQ(encipher("\x10\x32\x54\x76\x98\xBA\xDC\xFE"
                       "and more text"),
              base);
    EXPECT_NE(encipher("\x10\x32\x54\x76\x98\xBA\xDC\xFC"), base);
}

TEST(DesKey, ShortKeysAndVectorsAreFilledWithZeroBytes) {
    auto encipher = [](const std::string& key, const std::string& iv) {
        TDES des;
        des.SetKey(key);
        des.CipherMode = CBCMode;
        des.IVector = iv;
        return RunBytes(des, true, Counting(16));
    };
    EXPECT_EQ(encipher("abc", "x"),
              encipher(std::string("abc\0\0\0\0\0", 8), std::string("x\0\0\0\0\0\0\0", 8)));
    // An empty key is the all-zero key.
    EXPECT_EQ(ToHex(EcbBlock("", "0000000000000000")), "8CA64DE9C1B123A7");
}

TEST(DesKey, DestroyedKeyIsWipedFromTheComponent) {
    alignas(TDES) unsigned char storage[sizeof(TDES)];
    auto* des = new (storage) TDES;
    const std::string secret = "s3cr3t!"; // short enough to live inside the object
    des->SetKey(secret);
    auto holds = [&](const std::string& text) {
        return std::search(std::begin(storage), std::end(storage), text.begin(), text.end()) !=
               std::end(storage);
    };
    ASSERT_TRUE(holds(secret));
    des->~TDES();
    EXPECT_FALSE(holds(secret));
}

TEST(DesComponent, DecipherOfAStringLeavesTheOutputAlone) {
    TDES des;
    des.SetKey("abcdefgh");
    Bytes out(8, 0xEE);
    des.InputType = SourceString;
    des.InputString = "12345678";
    des.OutputBuffer = out.data();
    des.Decipher(false);
    EXPECT_EQ(out, Bytes(8, 0xEE));
    des.Encipher(false);
    EXPECT_EQ(ToHex(out), "21C60DA534248BCE");
}

TEST(DesComponent, InputsBeyondTheWorkBufferAreRefused) {
    TDES des;
    des.SetKey("abcdefgh");
    Bytes in(4097), out(4104);
    des.InputType = SourceByteArray;
    des.InputBuffer = in.data();
    des.OutputBuffer = out.data();
    des.InputLength = 4097;
    EXPECT_THROW(des.Encipher(false), std::invalid_argument);
    des.InputType = SourceString;
    des.InputString.assign(4097, 'x');
    EXPECT_THROW(des.Encipher(false), std::invalid_argument);
    des.InputString.assign(4096, 'x');
    EXPECT_NO_THROW(des.Encipher(false));
    EXPECT_EQ(des.InputLength, 4096);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

TEST(DesFile, FilesGoInPiecesOf4096BytesWithTheChainCarriedOver) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string plainPath = dir.filePath("plain.bin").toStdString();
    const std::string cipherPath = dir.filePath("cipher.bin").toStdString();
    const std::string backPath = dir.filePath("back.bin").toStdString();
    const Bytes plain = Counting(10003);
    WriteFile(plainPath, plain);

    for (TCipherMode mode : {ECBMode, CBCMode, CFBMode}) {
        SCOPED_TRACE(int(mode));
        TDES des;
        des.SetKey("filekey!");
        des.CipherMode = mode;
        des.IVector = "file-iv!";
        des.InputType = SourceFile;
        des.InputFilePath = plainPath;
        des.OutputFilePath = cipherPath;
        des.Encipher(false);
        const Bytes cipher = ReadFile(cipherPath);
        ASSERT_EQ(cipher.size(), mode == CFBMode ? 10003u : 10008u);

        // The same pieces through the byte-array input, the chain continued by KeyReady.
        TDES pieces;
        pieces.SetKey("filekey!");
        pieces.CipherMode = mode;
        pieces.IVector = "file-iv!";
        Bytes expected;
        for (std::size_t at = 0; at < plain.size(); at += 4096) {
            const Bytes piece(plain.begin() + at,
                              plain.begin() + std::min(plain.size(), at + 4096));
            const Bytes out = RunBytes(pieces, true, piece, at > 0);
            expected.insert(expected.end(), out.begin(), out.end());
        }
        EXPECT_EQ(cipher, expected);

        des.InputFilePath = cipherPath;
        des.OutputFilePath = backPath;
        des.Decipher(false);
        Bytes back = ReadFile(backPath);
        ASSERT_EQ(back.size(), cipher.size()) << "deciphering keeps the padding";
        back.resize(plain.size());
        EXPECT_EQ(back, plain);
    }
}

TEST(DesFile, FileFailuresRaiseInputOutputErrorsNamingTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string existing = dir.filePath("in.bin").toStdString();
    WriteFile(existing, Counting(20));
    const std::string missing = dir.filePath("missing.bin").toStdString();
    const std::string noFolder = dir.filePath("no/such/folder/out.bin").toStdString();

    const struct {
        std::string in, out, blamed;
    } cases[] = {{missing, dir.filePath("out.bin").toStdString(), missing},
                 {existing, noFolder, noFolder}};
    for (const auto& c : cases) {
        TDES des;
        des.SetKey("k");
        des.InputType = SourceFile;
        des.InputFilePath = c.in;
        des.OutputFilePath = c.out;
        try {
            des.Encipher(false);
            ADD_FAILURE() << "no error for " << c.blamed;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Path, c.blamed);
            EXPECT_EQ(e.ErrorCode, ENOENT);
        }
    }
}

} // namespace
