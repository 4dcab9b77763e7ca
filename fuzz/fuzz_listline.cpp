// Listing lines as a hostile server may send them: the first byte picks the server type, the second
// which word to take, the rest is a listing split at LF and read with one state, then once more as
// a single line. Besides the sanitizers, checks that no output outgrows its input, that the name
// read is the same remote name as itself, and that a date read from the line is a valid one.

#include "ftp/ftplist.h"
#include "ftp/listmatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void ParseOne(TFTPServerType type, std::size_t n, std::string_view line, TListState& state) {
    const std::size_t held = state.PendingLine.size();
    std::string name, size, date;
    bool isDirectory = false;
    ParseListLine(type, line, name, size, date, isDirectory, state);
    Check(SameRemoteName(type, name, name));
    const std::size_t bound = line.size() + held + 1;
    Check(name.size() <= bound && size.size() <= bound && date.size() <= bound);
    Check(state.PendingLine.size() <= std::max(line.size(), held));
    Check(ListWord(line, n).size() <= line.size());
    Check(ListName(line).size() <= line.size());
    const TDateTime now{2026, 6, 15, 10, 0, 0};
    if (const auto when = ParseListingDate(date, now)) Check(IsValidDateTime(*when));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const auto type = static_cast<TFTPServerType>(data[0] % 16);
    const std::size_t n = data[1] < 0xF0 ? data[1] % 12 : std::size_t(-1) - data[1];
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    TListState state;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ParseOne(type, n, text.substr(start, end - start), state);
        start = end + 1;
    }
    TListState fresh;
    ParseOne(type, n, text, fresh);
    return 0;
}
