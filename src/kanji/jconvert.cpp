#include "kanji/jconvert.h"

namespace {

using u8 = unsigned char;

constexpr u8 ESC = 0x1B;
constexpr u8 SS2 = 0x8E; // EUC single shift 2: a half-width katakana follows

constexpr bool IsHalfKana(u8 b) { return b >= 0xA1 && b <= 0xDF; }
constexpr bool IsVoicedMark(u8 b) { return b == 0xDE; }
constexpr bool IsSemiVoicedMark(u8 b) { return b == 0xDF; }

// The half-width punctuation, the prolonged sound mark and the two sound marks live in row 0x21.
constexpr u8 HalfKanaRow(u8 b) {
    return (b >= 0xA1 && b <= 0xA5) || b == 0xB0 || b == 0xDE || b == 0xDF ? 0x21 : 0x25;
}

// Writing into a buffer sized for the worst case is what keeps the converters fast: no bounds
// checks or reallocations per byte, one resize at the end.
class Writer {
public:
    explicit Writer(std::size_t capacity) : out_(capacity, '\0'), p_(out_.data()) {}
    void put(u8 b) { *p_++ = static_cast<char>(b); }
    void put(CharBytes c) {
        put(c.first);
        put(c.second);
    }
    void put3(u8 a, u8 b, u8 c) {
        put(a);
        put(b);
        put(c);
    }
    std::string finish() {
        out_.resize(static_cast<std::size_t>(p_ - out_.data()));
        return std::move(out_);
    }

private:
    std::string out_;
    char* p_;
};

u8 At(std::string_view text, std::size_t i) { return static_cast<u8>(text[i]); }

} // namespace

const std::array<unsigned char, 128> HalfKanaTable = [] {
    // Cells for A1..DF in order.
    constexpr u8 cells[] = {
        0x23, 0x56, 0x57, 0x22, 0x26, 0x72, 0x21, 0x23, 0x25, 0x27, 0x29, 0x63, 0x65, 0x67, 0x43,
        0x3C, 0x22, 0x24, 0x26, 0x28, 0x2A, 0x2B, 0x2D, 0x2F, 0x31, 0x33, 0x35, 0x37, 0x39, 0x3B,
        0x3D, 0x3F, 0x41, 0x44, 0x46, 0x48, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x52, 0x55, 0x58,
        0x5B, 0x5E, 0x5F, 0x60, 0x61, 0x62, 0x64, 0x66, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F,
        0x73, 0x2B, 0x2C,
    };
    static_assert(sizeof cells == 0xDF - 0xA1 + 1);
    std::array<unsigned char, 128> table{};
    for (std::size_t i = 0; i < sizeof cells; ++i) table[0x21 + i] = cells[i];
    return table;
}();

CharBytes SjisCharToJis(unsigned char s1, unsigned char s2) {
    u8 j1 = s1 < 0xA0 ? u8(s1 - 0x70) : u8(s1 - 0xB0);
    j1 = u8(j1 * 2);
    u8 j2;
    if (s2 < 0x9F) {
        j1 = u8(j1 - 1);
        j2 = s2 > 0x7F ? u8(s2 - 0x20) : u8(s2 - 0x1F);
    } else {
        j2 = u8(s2 - 0x7E);
    }
    return {j1, j2};
}

CharBytes JisCharToSjis(unsigned char j1, unsigned char j2) {
    u8 s1 = u8((u8(j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0));
    u8 s2;
    if (j1 & 1)
        s2 = j2 > 0x5F ? u8(j2 + 0x20) : u8(j2 + 0x1F);
    else
        s2 = u8(j2 + 0x7E);
    return {s1, s2};
}

CharBytes HalfKanaToJis(std::string_view text, std::size_t& position) {
    const u8 k = At(text, position - 1);
    u8 cell = HalfKanaTable[k & 0x7F];
    const u8 row = HalfKanaRow(k);
    ++position;
    if (position <= text.size()) {
        const u8 mark = At(text, position - 1);
        if (k == 0xB3 && IsVoicedMark(mark)) { // ｳﾞ -> ヴ
            ++position;
            return {0x25, 0x74};
        }
        if (k >= 0xB6 && k <= 0xC4 && IsVoicedMark(mark)) { // ｶﾞ..ﾄﾞ
            ++position;
            return {row, u8(cell + 1)};
        }
        if (k >= 0xCA && k <= 0xCE && (IsVoicedMark(mark) || IsSemiVoicedMark(mark))) { // ﾊﾞ..ﾎﾟ
            cell = u8(cell + (IsVoicedMark(mark) ? 1 : 2));
            ++position;
        }
    }
    return {row, cell};
}

std::string SjisToJis(std::string_view text) {
    // Worst case: a half-width katakana between single-byte characters costs ESC $ B, two bytes and
    // ESC ( J; one alone in the text costs 8 bytes.
    Writer out(text.size() * 9 / 2 + 4);
    bool kanjiMode = false;
    auto toRoman = [&] {
        if (kanjiMode) out.put3(ESC, '(', 'J');
        kanjiMode = false;
    };
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const u8 b = At(text, i);
        if (b < 0x80) { // CR and LF included: every line ends in Roman mode
            toRoman();
            out.put(b);
            ++i;
            continue;
        }
        const bool kana = IsHalfKana(b);
        if (!kana && i + 1 >= n) break; // a lead byte cut off by the end
        if (!kanjiMode) out.put3(ESC, '$', 'B');
        kanjiMode = true;
        if (kana) {
            std::size_t position = i + 1;
            out.put(HalfKanaToJis(text, position));
            i = position - 1;
        } else {
            out.put(SjisCharToJis(b, At(text, i + 1)));
            i += 2;
        }
    }
    toRoman();
    return out.finish();
}

std::string SjisToEuc(std::string_view text) {
    Writer out(text.size() * 2);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const u8 b = At(text, i);
        if (b < 0x80) {
            out.put(b);
            ++i;
        } else if (IsHalfKana(b)) {
            out.put(SS2);
            out.put(b);
            ++i;
        } else {
            if (i + 1 >= n) break;
            CharBytes j = SjisCharToJis(b, At(text, i + 1));
            out.put(u8(j.first | 0x80));
            out.put(u8(j.second | 0x80));
            i += 2;
        }
    }
    return out.finish();
}

std::string JisToSjis(std::string_view text) {
    Writer out(text.size());
    bool kanjiMode = false;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const u8 b = At(text, i);
        if (b == ESC) {
            if (i + 2 >= n) break; // an escape sequence cut off by the end
            const u8 designator = At(text, i + 1);
            if (designator == '$') kanjiMode = true;
            else if (designator == '(') kanjiMode = false;
            i += 3;
        } else if (kanjiMode) {
            if (i + 1 >= n) break;
            out.put(JisCharToSjis(b, At(text, i + 1)));
            i += 2;
        } else {
            out.put(b);
            ++i;
        }
    }
    return out.finish();
}

std::string EucToSjis(std::string_view text) {
    Writer out(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const u8 b = At(text, i);
        if (b <= 0x80 || b == 0xFF) {
            out.put(b);
            ++i;
            continue;
        }
        if (i + 1 >= n) break; // a first byte or single shift cut off by the end
        const u8 next = At(text, i + 1);
        if (b == SS2)
            out.put(next);
        else
            out.put(JisCharToSjis(b & 0x7F, next & 0x7F));
        i += 2;
    }
    return out.finish();
}
