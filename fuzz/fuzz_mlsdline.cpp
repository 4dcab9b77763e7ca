// MLSD lines as a hostile server may send them, split at LF. Besides the sanitizers, checks that a
// name is the end of its line, that sizes are never negative and that folders have none.

#include "ftp/mlsd.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void ParseOne(std::string_view line) {
    const auto entry = ParseMlsdLine(line);
    if (!entry) return;
    Check(!entry->Name.empty() && line.ends_with(entry->Name));
    Check(!entry->Size || *entry->Size >= 0);
    Check(!(entry->IsDirectory && entry->Size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ParseOne(text.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
