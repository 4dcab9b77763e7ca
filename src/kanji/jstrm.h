#pragma once
// Helpers for text sent as a stream of pieces: the kind of line end a piece uses, converting it, and
// finding whether a cut would split a double-byte character.

#include <cstddef>
#include <string>
#include <string_view>

enum LineEndKind { leNone = 0, leCRLF = 1, leCR = 2, leLF = 3 };

// The kind of the first line end in the text. A CR that is the last byte counts as a lone CR.
LineEndKind DetectLineEnd(std::string_view text);

// Replaces every line end of the kind the text starts with by `wanted`; line ends of other kinds are
// left alone (with a lone-CR text, the CR of a CR LF pair is replaced too). A text without line ends,
// one already of the wanted kind, or a `wanted` of leNone comes back unchanged.
std::string ConvertLineEnd(std::string_view text, LineEndKind wanted);

// The Shift_JIS lead bytes, fixed whatever the host: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsSjisLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True when the byte at 1-based position `i` is the second byte of a Shift_JIS double-byte character
// (lead bytes 0x81-0x9F and 0xE0-0xFC). Throws std::out_of_range "Illegal Index" when `i` lies outside
// the text.
bool IsTrailByte(std::string_view text, std::ptrdiff_t i);
