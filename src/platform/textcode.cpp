#include "platform/textcode.h"

#include <cerrno>
#include <iconv.h>

namespace {

void* Open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : static_cast<void*>(cd);
}

} // namespace

TSjisRecoder::TSjisRecoder(Direction direction, bool windows) : direction_(direction) {
    const bool fromUtf8 = direction == Direction::FromUtf8;
    jis_ = fromUtf8 ? Open("SHIFT_JIS", "UTF-8") : Open("UTF-8", "SHIFT_JIS");
    if (windows) windows_ = fromUtf8 ? Open("CP932", "UTF-8") : Open("UTF-8", "CP932");
}

TSjisRecoder::~TSjisRecoder() {
    if (jis_) iconv_close(static_cast<iconv_t>(jis_));
    if (windows_) iconv_close(static_cast<iconv_t>(windows_));
}

std::size_t TSjisRecoder::CharSize(std::string_view text) const {
    const auto b = static_cast<unsigned char>(text[0]);
    if (direction_ == Direction::ToUtf8)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
    if (b < 0xC0) return 1;
    return b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// Converts as much as `cd` can; `in` stops at the first byte it cannot take. True when all went.
bool TSjisRecoder::Through(void* cd, const char*& in, std::size_t& inLeft, std::string& out) {
    while (inLeft > 0) {
        // Straight into `out`; where it is not room enough, iconv says E2BIG and the loop goes on.
        const std::size_t done = out.size();
        out.resize(done + inLeft * 2 + 16);
        char* dst = out.data() + done;
        std::size_t dstLeft = out.size() - done;
        char* src = const_cast<char*>(in);
        const std::size_t r = iconv(static_cast<iconv_t>(cd), &src, &inLeft, &dst, &dstLeft);
        const int error = errno;
        in = src;
        out.resize(out.size() - dstLeft);
        if (r == static_cast<std::size_t>(-1) && error != E2BIG) return false;
    }
    return true;
}

bool TSjisRecoder::Convert(std::string_view text, std::string& out, std::size_t& failedAt) {
    if (!jis_) {
        failedAt = 0;
        return text.empty();
    }
    const char* in = text.data();
    std::size_t left = text.size();
    while (!Through(jis_, in, left, out)) {
        iconv(static_cast<iconv_t>(jis_), nullptr, nullptr, nullptr, nullptr);
        const std::size_t at = static_cast<std::size_t>(in - text.data());
        std::size_t size = CharSize(text.substr(at));
        if (!windows_ || size > left) {
            failedAt = at;
            return false;
        }
        std::size_t one = size;
        if (!Through(windows_, in, one, out)) {
            iconv(static_cast<iconv_t>(windows_), nullptr, nullptr, nullptr, nullptr);
            failedAt = at;
            return false;
        }
        left -= size;
    }
    return true;
}
