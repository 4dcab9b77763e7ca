// The time values of MLSD, MDTM and MFMT; the expected seconds are those `date -u -d ... +%s`
// gives for the same UTC time.
#include "ftp/ftptime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::int64_t None = INT64_MIN;

struct TTimeCase {
    const char* text;
    std::int64_t utc; // None: not a time
};

TEST(FtpTime, ParsesFourteenDigitsOfARealDate) {
    const TTimeCase cases[] = {
        {"20240102030405", 1704164645},
        {"20240102030405.123", 1704164645}, // fractions dropped, not rounded
        {"19700101000000", 0},
        {"19691231235959", -1},
        {"20000229235959", 951868799}, // a leap day
        {"99991231235959", 253402300799},
        {"19000229000000", None}, // 1900 was no leap year
        {"20241301000000", None},
        {"20240100000000", None},
        {"20240101240000", None},
        {"20240101006000", None},
        {"2024010203040", None},   // thirteen digits
        {"202401020304050", None}, // fifteen
        {"20240102030405.", None},
        {"20240102030405.1a", None},
        {"+2024010203040", None},
        {" 20240102030405", None},
        {"", None},
    };
    for (const TTimeCase& c : cases) {
        const std::optional<std::int64_t> utc = ParseFtpTime(c.text);
        if (c.utc == None)
            EXPECT_FALSE(utc) << c.text;
        else
            EXPECT_EQ(utc, c.utc) << c.text;
    }
}

TEST(FtpTime, ReadsTheReplyToMdtm) {
    const TTimeCase cases[] = {
        {"213 20261207103040", 1796639440},
        {"213 20261207103040.5", 1796639440},
        {"213  20261207103040 ", 1796639440},
        {"213-20261207103040", None}, // not a final line
        {"550 No such file or directory.", None},
        {"500 Unknown command.", None},
        {"213 ", None},
        {"213", None},
        {"2132026", None},
    };
    for (const TTimeCase& c : cases) {
        const std::optional<std::int64_t> utc = FtpTimeOfReply(c.text);
        if (c.utc == None)
            EXPECT_FALSE(utc) << c.text;
        else
            EXPECT_EQ(utc, c.utc) << c.text;
    }
}

TEST(FtpTime, WritesTheArgumentOfMfmt) {
    const struct {
        std::int64_t utc;
        const char* text; // nullptr: cannot be written
    } cases[] = {
        {1704164645, "20240102030405"},
        {0, "19700101000000"},
        {-1, "19691231235959"},
        {951868799, "20000229235959"},
        {1796639440, "20261207103040"},
        {253402300799, "99991231235959"},
        {-62167219200, "00000101000000"},
        {253402300800, nullptr}, // year 10000
        {-62167219201, nullptr},
        {INT64_MAX, nullptr},
        {INT64_MIN, nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> text = FormatFtpTime(c.utc);
        if (!c.text)
            EXPECT_FALSE(text) << c.utc;
        else
            EXPECT_EQ(text, c.text) << c.utc;
    }
}

} // namespace
