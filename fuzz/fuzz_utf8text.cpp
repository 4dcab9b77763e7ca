// The UTF-8 test of a text and the conversions between UTF-8 and Shift_JIS on any bytes: the test
// agrees with glibc's own UTF-8 reader and does not depend on where the text is cut into pieces;
// a conversion ends, and says where it stopped inside the text.
#include "kanji/utf8text.h"
#include "platform/codepage.h"
#include "platform/textcode.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool valid = IconvConvert("UTF-32LE", "UTF-8", text).has_value();
    bool multiByte = false;
    for (size_t i = 0; i < size; ++i)
        multiByte = multiByte || data[i] >= 0x80;
    const bool bom = text.starts_with(Utf8Bom);
    if (IsUtf8Text(text) != (bom || (valid && multiByte))) std::abort();

    // The same answer when the text comes in pieces cut where its first byte says.
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    TUtf8Scan scan;
    scan.Feed(text.substr(0, cut));
    scan.Feed(text.substr(cut));
    if (scan.IsUtf8() != IsUtf8Text(text) || scan.HasBom() != bom) std::abort();

    for (const auto direction :
         {TSjisRecoder::Direction::FromUtf8, TSjisRecoder::Direction::ToUtf8})
        for (const bool windows : {false, true}) {
            TSjisRecoder recoder(direction, windows);
            std::string out;
            size_t failedAt = 0;
            if (!recoder.Convert(text, out, failedAt) && failedAt >= size) std::abort();
        }
    return 0;
}
