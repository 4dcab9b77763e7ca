#include "crypto/deskey.h"

#include "desrun.h"
#include "platform/keysource.h"
#include "scopedenv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

bool IsUpperHex(const std::string& text) {
    return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(SealPassword, LengthDigitsAndBlockCounts) {
    const struct {
        std::string password;
        const char* length;
        std::size_t blocks;
    } cases[] = {
        {"", "00", 0},
        {"a", "01", 1},
        {"1234567", "07", 1},
        {"12345678", "08", 1},
        {"123456789", "09", 2},
        {std::string(16, 'p'), "10", 2},
        {std::string(32, 'q'), "20", 4},
        {std::string(128, 'r'), "80", 16},
    };
    TDES des;
    des.SetKey("machine-key");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password.size());
        const std::string sealed = SealPassword(des, c.password);
        ASSERT_EQ(sealed.size(), SealedLength);
        EXPECT_TRUE(IsUpperHex(sealed));
        EXPECT_EQ(sealed.substr(0, 2), c.length);
        // Ciphertext blocks never come out all zero here; the rest of the area is zero.
        for (std::size_t b = 0; b < 16; ++b) {
            const bool zero = sealed.substr(2 + 16 * b, 16) == std::string(16, '0');
            EXPECT_EQ(zero, b >= c.blocks) << "block " << b;
        }
        EXPECT_EQ(UnsealPassword(des, sealed), c.password);
        EXPECT_EQ(SealPassword(des, c.password), sealed) << "sealing is repeatable";
    }
    EXPECT_EQ(SealPassword(des, ""), "00" + std::string(256, '0'));
    EXPECT_THROW(SealPassword(des, std::string(129, 'x')), std::length_error);
}

TEST(SealPassword, IsDesEcbOfTheZeroPaddedPassword) {
    TDES des;
    des.SetKey("12345678");
    EXPECT_EQ(SealPassword(des, "abcdefgh"), "0894D4436BC3B5B693" + std::string(240, '0'));
    des.SetKey("abcdefgh");
    const std::string sealed = SealPassword(des, "abcdefgh12345");
    EXPECT_EQ(sealed.substr(0, 18), "0D2A8D69DE9D5FDFF9");
    EXPECT_EQ(sealed.substr(18, 16), ToHex(EcbBlock("6162636465666768", "3132333435000000")));
}

TEST(SealPassword, NoClearTextStaysInTheComponent) {
    struct Probe : TDES {
        bool WorkAreasClear() const {
            return std::all_of(std::begin(WorkBuffer), std::end(WorkBuffer),
                               [](auto b) { return b == 0; }) &&
                   std::all_of(BlockBuffer.begin(), BlockBuffer.end(),
                               [](auto b) { return b == 0; });
        }
    } des;
    des.SetKey("key");
    const std::string sealed = SealPassword(des, "topsecret");
    EXPECT_TRUE(des.InputString.empty());
    EXPECT_TRUE(des.WorkAreasClear());
    EXPECT_EQ(UnsealPassword(des, sealed), "topsecret");
    EXPECT_TRUE(des.WorkAreasClear());
    EXPECT_EQ(des.OutputBuffer, nullptr);
}

TEST(SealPassword, AnotherKeyGivesOtherBytesOfTheSameLength) {
    TDES mine;
    mine.SetKey("this machine");
    TDES theirs;
    theirs.SetKey("that machine");
    const std::string password = "hunter2!x";
    const std::string sealed = SealPassword(mine, password);
    EXPECT_NE(SealPassword(theirs, password), sealed);
    const std::string wrong = UnsealPassword(theirs, sealed);
    EXPECT_EQ(wrong.size(), password.size());
    EXPECT_NE(wrong, password);
}

TEST(UnsealPassword, BadValuesNeverReadBeyondThemselves) {
    TDES des;
    des.SetKey("some key");
    const std::string good = SealPassword(des, "secret");
    std::string lower = good;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const struct {
        std::string sealed;
        std::size_t length;
    } cases[] = {
        {"", 0},
        {"0", 0},
        {"6", 0x60},  // the missing digit reads as 0: 0x60 bytes
        {"FF", 128},  // more than the area: all of it
        {"08ABC", 8}, // odd length, most digits missing
        {std::string(258, 'Z'), 0xFF & (0x23 * 16 + 0x23)},
        {std::string("\xFF\x80") + std::string(300, '\x01'), 128},
        {good + "trailing text is ignored", 6},
        {lower, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sealed.substr(0, 12)));
        EXPECT_EQ(UnsealPassword(des, c.sealed).size(), std::min<std::size_t>(c.length, 128));
    }
    EXPECT_EQ(UnsealPassword(des, good + "trailing text is ignored"), "secret");
    EXPECT_NE(UnsealPassword(des, lower), "secret") << "lowercase digits do not read right";
    // Only the enciphered blocks matter: a value cut after them still unseals.
    EXPECT_EQ(UnsealPassword(des, good.substr(0, 18)), "secret");
}

TEST(MachineKey, DerivedFromMachineIdAndLoginName) {
    const struct {
        std::string id;
        std::optional<std::string> user;
        std::string key;
    } cases[] = {
        {"3d1219c7-c4c5-404a", std::string("bob"), "3d1219c7c4c5404a626F62"},
        {"--a--b--", std::nullopt, "ab"},
        {"", std::string("\x83\x41z"), "83417A"},
        {"", std::nullopt, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeriveMachineKey(c.id, c.user), c.key);
}

// Every test that touches the key file gets its own configuration folder.
class MachineKeyStore : public testing::Test {
  protected:
    QTemporaryDir dir_;
    std::string config_ = dir_.filePath("config/deeper").toStdString();
    ScopedEnv env_{"XDG_CONFIG_HOME", config_};
};

TEST_F(MachineKeyStore, StoredKeyWinsUntilCleared) {
    const std::string derived = DeriveMachineKey(MachineId(), LoginName());
    EXPECT_EQ(StoredKeyPath(), config_ + "/wendup/key");
    EXPECT_EQ(GetMachineKey(), derived);

    ASSERT_TRUE(StoreMachineKey("My Own Key"));
    EXPECT_EQ(GetMachineKey(), "My Own Key");
    struct stat st;
    ASSERT_EQ(::stat(StoredKeyPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((config_ + "/wendup").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A password sealed under the stored key reads back under it, and not under the derived one.
    TDES des;
    des.SetKey(GetMachineKey());
    const std::string sealed = SealPassword(des, "pa55word");
    EXPECT_EQ(UnsealPassword(des, sealed), "pa55word");

    ASSERT_TRUE(ClearMachineKey());
    EXPECT_EQ(GetMachineKey(), derived);
    des.SetKey(GetMachineKey());
    EXPECT_NE(UnsealPassword(des, sealed), "pa55word");
    EXPECT_EQ(UnsealPassword(des, SealPassword(des, "pa55word")), "pa55word");
    EXPECT_TRUE(ClearMachineKey()) << "clearing twice is not an error";
}

TEST_F(MachineKeyStore, EmptyTextStoresANewRandomKey) {
    ASSERT_TRUE(StoreMachineKey(""));
    const std::string first = GetMachineKey();
    EXPECT_EQ(first.size(), 32u);
    EXPECT_TRUE(IsUpperHex(first));
    ASSERT_TRUE(StoreMachineKey(""));
    EXPECT_NE(GetMachineKey(), first);
}

TEST_F(MachineKeyStore, UnwritableFolderLeavesTheOldKey) {
    ASSERT_TRUE(StoreMachineKey("old key"));
    // A file where the folder should be makes every later store fail.
    ScopedEnv blocked{"XDG_CONFIG_HOME", StoredKeyPath()};
    EXPECT_FALSE(StoreMachineKey("new key"));
    ScopedEnv back{"XDG_CONFIG_HOME", config_};
    EXPECT_EQ(GetMachineKey(), "old key");
}

} // namespace
