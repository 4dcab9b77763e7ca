#include "kanji/utf8text.h"

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
void TUtf8Scan::Feed(std::string_view piece) {
    for (const char c : piece) {
        const auto b = static_cast<unsigned char>(c);
        if (seen_ < Utf8Bom.size() && bomSeen_ == seen_ &&
            b == static_cast<unsigned char>(Utf8Bom[seen_])) {
            ++bomSeen_;
            if (bomSeen_ == Utf8Bom.size()) bom_ = true;
        }
        ++seen_;
        if (failed_) continue;
        if (pending_ > 0) {
            if (b < lower_ || b > upper_) {
                failed_ = true;
                continue;
            }
            lower_ = 0x80;
            upper_ = 0xBF;
            --pending_;
            continue;
        }
        if (b < 0x80) continue;
        multiByte_ = true;
        if (b >= 0xC2 && b <= 0xDF) {
            pending_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            pending_ = 2;
            if (b == 0xE0) lower_ = 0xA0;
            if (b == 0xED) upper_ = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            pending_ = 3;
            if (b == 0xF0) lower_ = 0x90;
            if (b == 0xF4) upper_ = 0x8F;
        } else {
            failed_ = true;
        }
    }
}

bool TUtf8Scan::IsUtf8() const {
    if (bom_) return true;
    return !failed_ && pending_ == 0 && multiByte_;
}

bool IsUtf8Text(std::string_view text) {
    TUtf8Scan scan;
    scan.Feed(text);
    return scan.IsUtf8();
}

std::size_t Utf8CharLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

std::size_t Utf8LastCharSize(std::string_view text) {
    // A character is at most four bytes: its lead is among the last four.
    const std::size_t reach = text.size() < 4 ? text.size() : 4;
    for (std::size_t back = 1; back <= reach; ++back) {
        const auto b = static_cast<unsigned char>(text[text.size() - back]);
        if ((b & 0xC0) != 0x80) return back;
    }
    return reach;
}
