#include "ftp/textcheck.h"

#include "kanji/jstrm.h"
#include "kanji/utf8text.h"
#include "platform/textcode.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kPiece = 256 * 1024;

// Reads the file in pieces from its start; each piece is handed over whole up to where `keep`
// says the next one must start (a character is never split).
class TPieces {
  public:
    explicit TPieces(int fd) : fd_(fd), buffer_(std::make_unique<char[]>(kPiece)) {}
    // False at the end or on a read error (then Failed()).
    bool Next(std::string_view& piece) {
        std::memmove(buffer_.get(), buffer_.get() + used_, filled_ - used_);
        filled_ -= used_;
        used_ = 0;
        while (!eof_ && filled_ < kPiece) {
            const ssize_t n = ::pread(fd_, buffer_.get() + filled_, kPiece - filled_, offset_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failed_ = true;
                return false;
            }
            if (n == 0) eof_ = true;
            filled_ += static_cast<std::size_t>(n);
            offset_ += n;
        }
        piece = std::string_view(buffer_.get(), filled_);
        return filled_ > 0;
    }
    // The first `bytes` of the piece are done; the rest comes again at the front of the next.
    void Used(std::size_t bytes) { used_ = bytes; }
    bool AtEnd() const { return eof_; }
    bool Failed() const { return failed_; }

  private:
    int fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t filled_ = 0;
    std::size_t used_ = 0;
    off_t offset_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// Counts the line ends (LF, CR LF, or a lone CR) that a text has passed.
class TLineCount {
  public:
    void Pass(std::string_view text) {
        for (const char c : text) {
            if (c == '\n' && !afterCr_) ++ends_;
            if (c == '\r') ++ends_;
            afterCr_ = c == '\r';
        }
    }
    std::size_t Line() const { return ends_ + 1; }

  private:
    std::size_t ends_ = 0;
    bool afterCr_ = false;
};

bool IsUtf8File(int fd, TTextCheck& check) {
    TPieces pieces(fd);
    TUtf8Scan scan;
    std::string_view piece;
    while (!scan.Failed() && pieces.Next(piece)) {
        scan.Feed(piece);
        pieces.Used(piece.size());
        if (pieces.AtEnd()) break;
    }
    if (pieces.Failed()) check.Ok = false;
    check.Bom = scan.HasBom();
    return scan.IsUtf8();
}

// Converts the whole file and says where the first character without a form is.
void FindUnconvertible(int fd, TTextSource source, bool windows, TTextCheck& check) {
    const bool fromUtf8 = source == TTextSource::Utf8;
    TSjisRecoder recoder(
        fromUtf8 ? TSjisRecoder::Direction::FromUtf8 : TSjisRecoder::Direction::ToUtf8, windows);
    TPieces pieces(fd);
    TLineCount lines;
    std::string_view piece;
    std::string out;
    bool first = true;
    while (pieces.Next(piece)) {
        std::size_t start = 0;
        if (first && check.Bom) start = Utf8Bom.size();
        first = false;
        // Whole characters only, except at the end of the file.
        std::size_t end = piece.size();
        if (!pieces.AtEnd()) {
            if (fromUtf8)
                end -= Utf8LastCharSize(piece);
            else
                end -= IsTrailByte(piece, static_cast<std::ptrdiff_t>(piece.size())) ? 2 : 1;
        }
        out.clear();
        std::size_t failedAt = 0;
        const std::string_view text = piece.substr(start, end - start);
        if (!recoder.Convert(text, out, failedAt)) {
            lines.Pass(text.substr(0, failedAt));
            check.Ok = false;
            check.Line = lines.Line();
            const std::size_t size =
                fromUtf8 ? Utf8CharLength(static_cast<unsigned char>(text[failedAt]))
                         : (IsSjisLeadByte(static_cast<unsigned char>(text[failedAt])) ? 2 : 1);
            check.Character = std::string(text.substr(failedAt, size == 0 ? 1 : size));
            return;
        }
        lines.Pass(text);
        pieces.Used(end);
        if (pieces.AtEnd() && end == piece.size()) break;
    }
    if (pieces.Failed()) check.Ok = false;
}

} // namespace

bool ChecksText(TTransferType mode) {
    return mode == textJIS || mode == textSJIS || mode == textEUC || mode == textUTF8;
}

TTextCheck CheckTextFile(int fd, TTransferType mode) {
    TTextCheck check;
    if (!ChecksText(mode)) return check;
    if (IsUtf8File(fd, check)) check.Source = TTextSource::Utf8;
    if (!check.Ok) return check;
    // UTF-8 to UTF-8 goes as it is, and Shift_JIS to the JIS codes as it always did.
    const bool utf8 = check.Source == TTextSource::Utf8;
    if (utf8 == (mode == textUTF8)) return check;
    // Only a Shift_JIS reader knows CP932's own characters.
    FindUnconvertible(fd, check.Source, mode == textSJIS || mode == textUTF8, check);
    return check;
}
