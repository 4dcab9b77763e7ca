#pragma once
// Whether a text is UTF-8: what every Linux editor writes, where the system of the design wrote
// Shift_JIS. A text counts as UTF-8 when it is valid UTF-8 throughout and holds at least one
// multi-byte character, or when it starts with the UTF-8 byte-order mark. Plain ASCII is left to
// Shift_JIS, which reads it the same. Pure functions on bytes; a scan may be fed piece by piece.

#include <cstddef>
#include <string_view>

inline constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

class TUtf8Scan {
  public:
    // The next piece of the text; a character may be split between two pieces.
    void Feed(std::string_view piece);
    // After the last piece.
    bool IsUtf8() const;
    bool HasBom() const { return bom_; }
    // Only the first few bytes decide the mark; past a fault nothing more can make it UTF-8.
    bool Failed() const { return failed_; }

  private:
    std::size_t seen_ = 0;      // bytes fed so far
    unsigned char bomSeen_ = 0; // leading bytes that matched the mark
    bool bom_ = false;
    bool failed_ = false;
    bool multiByte_ = false;
    int pending_ = 0;            // continuation bytes still due
    unsigned char lower_ = 0x80; // bounds of the next continuation byte
    unsigned char upper_ = 0xBF;
};

// The whole text at once.
bool IsUtf8Text(std::string_view text);

// The length of the UTF-8 character that starts with `lead`; 0 for a byte no character starts with.
std::size_t Utf8CharLength(unsigned char lead);

// How many bytes at the end of `text` belong to its last character, whole or cut short: a piece cut
// there keeps every character whole. 0 for an empty text.
std::size_t Utf8LastCharSize(std::string_view text);
