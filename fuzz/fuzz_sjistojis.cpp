// SjisToJis on any bytes: never reads past its input, and stays within its documented output length.
#include "kanji/jconvert.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string out = SjisToJis(text);
    if (out.size() > size * 9 / 2 + 4) std::abort();
    // Every output ends in Roman mode: after the last ESC $ B comes an ESC ( J (unless the input
    // brought escape bytes of its own, which are copied like any other single-byte character).
    if (text.find('\x1B') != std::string_view::npos) return 0;
    const auto kanji = out.rfind("\x1B$B");
    if (kanji != std::string::npos && out.find("\x1B(J", kanji) == std::string::npos) std::abort();
    return 0;
}
