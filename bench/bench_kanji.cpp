// Converts a 64 MiB Shift_JIS text in the uploader's pieces with our converters and with glibc
// iconv in the same run, and prints the speed of each and the ratio ours/iconv.
//
// Pieces are cut as the uploader cuts them: 2,048 bytes read, then shortened by one byte, or by two
// when the last byte is the second half of a character, so no character is split. Each piece is
// converted on its own; iconv gets one descriptor for the whole run and is reset after every piece
// (which also makes it end the piece in ASCII, as ours ends in Roman mode).
#include "kanji/jconvert.h"
#include "kanji/jstrm.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iconv.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kTextSize = 64u << 20;
constexpr size_t kPieceSize = 2048;
constexpr int kRounds = 3;

// A Japanese-looking text: lines of kana, kanji and ASCII ending in CR LF. Only characters that
// iconv's CP932 knows and writes in both target codes, so both sides convert everything.
std::string MakeText() {
    std::vector<std::string> chars;
    iconv_t euc = iconv_open("EUC-JP", "CP932");
    iconv_t jis = iconv_open("ISO-2022-JP", "CP932");
    auto converts = [](iconv_t cd, std::string c) {
        char out[16];
        char* in = c.data();
        size_t inLeft = c.size(), outLeft = sizeof out;
        char* o = out;
        bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != size_t(-1);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return ok;
    };
    for (int s1 : {0x82, 0x83, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x93, 0x95})
        for (int s2 = 0x40; s2 <= 0xFC; ++s2) {
            std::string c = {char(s1), char(s2)};
            if (s2 != 0x7F && converts(euc, c) && converts(jis, c)) chars.push_back(c);
        }
    iconv_close(euc);
    iconv_close(jis);

    std::string text;
    text.reserve(kTextSize + 64);
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
    while (text.size() < kTextSize) {
        for (int n = 20 + next() % 40; n > 0; --n) {
            if (next() % 10 < 7)
                text += chars[next() % chars.size()];
            else
                text += char('a' + next() % 26);
        }
        text += "\r\n";
    }
    return text; // whole lines, so no character is cut at the end
}

// The uploader's pieces: offsets and lengths.
std::vector<std::string_view> Pieces(const std::string& text) {
    std::vector<std::string_view> pieces;
    for (size_t at = 0; at < text.size();) {
        std::string_view piece = std::string_view(text).substr(at, kPieceSize);
        if (piece.size() == kPieceSize) piece.remove_suffix(IsTrailByte(piece, kPieceSize) ? 2 : 1);
        pieces.push_back(piece);
        at += piece.size();
    }
    return pieces;
}

template <class F> double BestSeconds(F&& run) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        run();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

size_t sink = 0; // keeps the conversions from being optimised away

double Ours(const std::vector<std::string_view>& pieces, std::string (*convert)(std::string_view)) {
    return BestSeconds([&] {
        for (std::string_view p : pieces)
            sink += convert(p).size();
    });
}

double Iconv(const std::vector<std::string_view>& pieces, const char* to) {
    iconv_t cd = iconv_open(to, "CP932");
    if (cd == iconv_t(-1)) {
        std::perror("iconv_open");
        std::exit(1);
    }
    std::vector<char> out(kPieceSize * 5);
    double seconds = BestSeconds([&] {
        for (std::string_view p : pieces) {
            char* in = const_cast<char*>(p.data());
            size_t inLeft = p.size();
            char* o = out.data();
            size_t outLeft = out.size();
            if (iconv(cd, &in, &inLeft, &o, &outLeft) == size_t(-1)) {
                std::perror("iconv");
                std::exit(1);
            }
            iconv(cd, nullptr, nullptr, &o, &outLeft);
            sink += out.size() - outLeft;
        }
    });
    iconv_close(cd);
    return seconds;
}

void Report(const char* what, size_t bytes, double ours, double theirs) {
    const double mib = double(bytes) / (1 << 20);
    std::printf("%-10s ours %8.1f MiB/s   iconv %8.1f MiB/s   ratio ours/iconv %.2f\n", what,
                mib / ours, mib / theirs, theirs / ours);
}

} // namespace

int main() {
    const std::string text = MakeText();
    const auto pieces = Pieces(text);
    std::printf("%.1f MiB Shift_JIS text, %zu pieces, best of %d rounds\n",
                double(text.size()) / (1 << 20), pieces.size(), kRounds);
    Report("SjisToEuc", text.size(), Ours(pieces, SjisToEuc), Iconv(pieces, "EUC-JP"));
    Report("SjisToJis", text.size(), Ours(pieces, SjisToJis), Iconv(pieces, "ISO-2022-JP"));
    return sink == 0;
}
