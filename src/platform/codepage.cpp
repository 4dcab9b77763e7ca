#include "platform/codepage.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

const std::string_view kUtf8Replacement = "\xEF\xBF\xBD"; // U+FFFD

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// CP932 and UTF-8 give every byte below 0x80 the same character: a text of such bytes alone (most
// protocol lines and names) is the same in both, and needs no conversion.
bool SameBelow0x80(const char* to, const char* from) {
    const auto known = [](const char* code) {
        return std::strcmp(code, "CP932") == 0 || std::strcmp(code, "UTF-8") == 0;
    };
    return known(to) && known(from);
}

} // namespace

// One conversion through iconv. A byte sequence that cannot be converted makes the whole call fail,
// unless `replacement` is given: then it stands for the offending byte and the conversion goes on.
std::optional<std::string> IconvConvert(const char* to, const char* from, std::string_view in,
                                        std::string_view replacement) {
    if (SameBelow0x80(to, from) && IsAscii(in)) return std::string(in);
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t done = 0;
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = out.data() + done;
        size_t dstLeft = out.size() - done;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (r != static_cast<size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ, or EINVAL for a sequence cut off by the end
        if (replacement.empty()) {
            ok = false;
            break;
        }
        if (out.size() < done + replacement.size()) out.resize((done + replacement.size()) * 2);
        out.replace(done, replacement.size(), replacement);
        done += replacement.size();
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(done);
    return out;
}

std::optional<std::string> Utf8ToSystem(std::string_view utf8) {
    auto sjis = IconvConvert("CP932", "UTF-8", utf8);
    if (!sjis) return std::nullopt;
    auto back = IconvConvert("UTF-8", "CP932", *sjis);
    if (!back || *back != utf8) return std::nullopt;
    return sjis;
}

std::optional<std::string> SystemToUtf8(std::string_view sjis) {
    return IconvConvert("UTF-8", "CP932", sjis);
}

QString SystemToQString(std::string_view sjis) {
    // Below 0x80 CP932 is ASCII, as UTF-8 and Latin-1 are.
    if (IsAscii(sjis)) return QString::fromLatin1(sjis.data(), qsizetype(sjis.size()));
    auto utf8 = IconvConvert("UTF-8", "CP932", sjis, kUtf8Replacement);
    return utf8 ? QString::fromUtf8(utf8->data(), qsizetype(utf8->size())) : QString();
}

std::optional<std::string> QStringToSystem(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    return Utf8ToSystem(std::string_view(utf8.constData(), size_t(utf8.size())));
}

QString ServerTextToQString(std::string_view text, bool utf8) {
    return utf8 ? QString::fromUtf8(text.data(), qsizetype(text.size())) : SystemToQString(text);
}

std::optional<std::string> QStringToServerText(const QString& text, bool utf8) {
    return utf8 ? text.toStdString() : QStringToSystem(text);
}

std::string ServerTextToHost(std::string_view text, bool utf8) {
    return ServerTextToQString(text, utf8).toStdString();
}

std::optional<std::string> HostToServerText(std::string_view host, bool utf8) {
    return utf8 ? std::string(host) : Utf8ToSystem(host);
}

int SystemCompareLocale(std::string_view a, std::string_view b) {
    return QString::localeAwareCompare(SystemToQString(a), SystemToQString(b));
}
