// IsTrailByte at every position of any bytes: the right answer inside the text, "Illegal Index"
// outside it, and no read past the end.
#include "kanji/jstrm.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // A forward reading of the text: a lead byte takes the next byte as its second half.
    std::vector<bool> trail(size + 1, false);
    for (size_t i = 0; i < size; ++i)
        if (IsSjisLeadByte(data[i]) && i + 1 < size) trail[++i] = true;

    for (std::ptrdiff_t i = 1; i <= std::ptrdiff_t(size); ++i)
        if (IsTrailByte(text, i) != trail[size_t(i - 1)]) std::abort();
    for (std::ptrdiff_t i : {std::ptrdiff_t(0), std::ptrdiff_t(size) + 1}) {
        try {
            IsTrailByte(text, i);
            std::abort();
        } catch (const std::out_of_range&) {
        }
    }
    return 0;
}
