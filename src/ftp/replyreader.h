#pragma once
// Frames the control connection's bytes into reply lines, before any code conversion: a JIS or
// EUC character split over two reads must be whole again before it is converted, and only a
// complete line is. What the replies mean is the interpreter's business, not this.

#include <cstddef>
#include <string>
#include <string_view>

// Cuts bytes into lines: LF ends a line, with or without a CR before it; a lone CR is a byte of the
// line. Bounds are the caller's: Partial tells how long the unterminated line has grown.
class TLineSplitter {
  public:
    void Feed(std::string_view bytes);
    // The next complete line without its line end, in order; false when none is complete.
    bool Next(std::string& line);
    // Bytes of the unterminated last line.
    std::size_t Partial() const { return buffer_.size() - complete_; }
    // Drops the unterminated line, and the rest of it up to its LF when that comes. For use once
    // Next has taken the complete lines.
    void SkipPartial();
    void Reset();

  private:
    std::string buffer_;       // unconsumed bytes; complete lines first
    std::size_t pos_ = 0;      // start of the first unconsumed line
    std::size_t complete_ = 0; // end of the last complete line (after its LF)
    bool skipping_ = false;    // the next line to complete is the rest of a skipped one
};

struct TReplyLine {
    std::string text; // the raw bytes, without LF or CR LF
    // The last line of a reply (a one-line reply, or "ccc " closing "ccc-"); the others are the
    // opening and inner lines of a multi-line reply.
    bool final = false;
};

class TReplyReader {
  public:
    explicit TReplyReader(std::size_t maxLine) : maxLine_(maxLine) {}

    // Takes the bytes of one read. False once a line has grown past maxLine bytes without its LF:
    // the reader is then spent until Reset.
    bool Feed(std::string_view bytes);
    // The next complete line, in order; false when none is complete. An empty line outside a
    // multi-line reply is no reply and is skipped.
    bool Next(TReplyLine& line);
    void Reset();
    bool InMultiLine() const { return multiLine_; }

  private:
    std::size_t maxLine_;
    TLineSplitter lines_;
    std::size_t lineLength_ = 0; // bytes of the unterminated last line
    bool lastCr_ = false;        // the last byte of it is a CR
    bool overflow_ = false;
    bool multiLine_ = false;
    char code_[3] = {};
};
