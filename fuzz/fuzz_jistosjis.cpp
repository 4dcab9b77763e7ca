// JisToSjis on any bytes: never reads past its input, and stays within its documented output length.
#include "kanji/jconvert.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string out = JisToSjis(text);
    if (out.size() > size) std::abort();
    return 0;
}
