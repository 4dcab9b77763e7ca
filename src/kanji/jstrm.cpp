#include "kanji/jstrm.h"

#include <stdexcept>

namespace {

std::string_view Sequence(LineEndKind kind) {
    switch (kind) {
    case leCRLF: return "\r\n";
    case leCR: return "\r";
    case leLF: return "\n";
    case leNone: break;
    }
    return {};
}

} // namespace

LineEndKind DetectLineEnd(std::string_view text) {
    const std::size_t at = text.find_first_of("\r\n");
    if (at == std::string_view::npos) return leNone;
    if (text[at] == '\n') return leLF;
    return at + 1 < text.size() && text[at + 1] == '\n' ? leCRLF : leCR;
}

std::string ConvertLineEnd(std::string_view text, LineEndKind wanted) {
    const LineEndKind kind = DetectLineEnd(text);
    const std::string_view from = Sequence(kind);
    const std::string_view to = Sequence(wanted);
    if (kind == leNone || kind == wanted || to.empty()) return std::string(text);

    std::string out;
    out.reserve(text.size() * 2);
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string_view::npos; start = at + from.size()) {
        out.append(text.substr(start, at - start));
        out.append(to);
    }
    out.append(text.substr(start));
    return out;
}

bool IsTrailByte(std::string_view text, std::ptrdiff_t i) {
    if (i < 1 || static_cast<std::size_t>(i) > text.size()) throw std::out_of_range("Illegal Index");
    // Count the run of lead bytes right before i: an odd run means i completes a pair.
    std::size_t leads = 0;
    for (std::ptrdiff_t k = i - 1; k >= 1 && IsSjisLeadByte(static_cast<unsigned char>(text[k - 1])); --k)
        ++leads;
    return leads % 2 == 1;
}
