#pragma once
// Conversions of Japanese text between Shift_JIS and the two codes FTP servers expect: JIS (7-bit,
// ISO-2022-JP style) and EUC-JP. Pure functions on byte strings: no state survives a call.
//
// Shift_JIS bytes as the converters see them: 0x00-0x7F one single-byte character; 0xA1-0xDF one
// half-width katakana; every other byte >= 0x80 the first of a double-byte character, whose second
// byte is taken whatever its value. Nothing is validated and nothing fails: malformed input goes
// through the same arithmetic.
//
// A unit cut off by the end of the input writes nothing, in all four converters: a final Shift_JIS
// lead byte, a final EUC first byte or 0x8E, a JIS escape sequence shorter than three bytes, and a
// two-byte JIS character missing its second byte are dropped. No converter reads past the end, and
// a JIS output still ends in Roman mode. (The uploader never cuts a piece inside a character, so
// this only meets a file whose last byte is a stray lead byte.)
//
// Output lengths: SjisToJis writes at most 4.5 times the input plus 4 bytes, SjisToEuc at most twice
// the input; JisToSjis and EucToSjis never lengthen.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The two bytes of one double-byte character.
struct CharBytes {
    unsigned char first;
    unsigned char second;
    bool operator==(const CharBytes&) const = default;
};

// JIS X 0208 cell of the full-width form of each half-width katakana, indexed by the katakana byte
// with its top bit cleared (0x21-0x5F are used). The row is 0x21 for A1-A5, B0, DE and DF, else 0x25.
extern const std::array<unsigned char, 128> HalfKanaTable;

CharBytes SjisCharToJis(unsigned char s1, unsigned char s2);
CharBytes JisCharToSjis(unsigned char j1, unsigned char j2);

// The full-width JIS character for the half-width katakana at 1-based `position` of `text`. A voiced
// or semi-voiced sound mark right after it is merged where the pair has a full-width form (ｶﾞ -> ガ,
// ﾊﾟ -> パ, ｳﾞ -> ヴ); `position` moves past the letter and a merged mark.
CharBytes HalfKanaToJis(std::string_view text, std::size_t& position);

// Shift_JIS -> JIS: ESC $ B before double-byte characters, ESC ( J back to Roman before every
// single-byte character, CR and LF, and at the end of the text. Half-width katakana become full-width.
std::string SjisToJis(std::string_view text);
// Shift_JIS -> EUC-JP: half-width katakana stay half-width behind 0x8E.
std::string SjisToEuc(std::string_view text);
// JIS -> Shift_JIS: any ESC $ x enters two-byte mode, any ESC ( x leaves it; other escapes are dropped.
std::string JisToSjis(std::string_view text);
// EUC-JP -> Shift_JIS: 0x8E brings a half-width katakana; 0x8F gets no special meaning.
std::string EucToSjis(std::string_view text);
