#include "ftp/replyreader.h"

#include <cstring>

void TLineSplitter::Feed(std::string_view bytes) {
    // Only the unconsumed tail is kept, so the buffer holds at most one read and one line.
    if (pos_ > 0) {
        buffer_.erase(0, pos_);
        complete_ -= pos_;
        pos_ = 0;
    }
    const std::size_t lf = bytes.rfind('\n');
    if (lf != std::string_view::npos) complete_ = buffer_.size() + lf + 1;
    buffer_.append(bytes);
}

bool TLineSplitter::Next(std::string& line) {
    for (;;) {
        if (pos_ >= complete_) return false;
        const std::size_t lf = buffer_.find('\n', pos_);
        const std::size_t end = lf > pos_ && buffer_[lf - 1] == '\r' ? lf - 1 : lf;
        const std::size_t start = pos_;
        pos_ = lf + 1;
        if (skipping_) {
            skipping_ = false;
            continue;
        }
        line.assign(buffer_, start, end - start);
        return true;
    }
}

void TLineSplitter::SkipPartial() {
    buffer_.resize(complete_);
    skipping_ = true;
}

void TLineSplitter::Reset() {
    buffer_.clear();
    pos_ = complete_ = 0;
    skipping_ = false;
}

bool TReplyReader::Feed(std::string_view bytes) {
    if (overflow_) return false;
    for (const char c : bytes) {
        lineLength_ = c == '\n' ? 0 : lineLength_ + 1;
        lastCr_ = c == '\r';
        // A CR may be the first half of the line end: it does not count.
        if (lineLength_ - (lastCr_ ? 1 : 0) > maxLine_) {
            overflow_ = true;
            lines_.Reset();
            return false;
        }
    }
    lines_.Feed(bytes);
    return true;
}

bool TReplyReader::Next(TReplyLine& line) {
    for (;;) {
        // LF ends a line, with or without a CR before it: some servers end their replies so.
        if (!lines_.Next(line.text)) return false;
        const std::string& t = line.text;
        if (multiLine_) {
            // Only "ccc " with the opening code closes it; anything else is text inside.
            line.final = t.size() >= 4 && std::memcmp(t.data(), code_, 3) == 0 && t[3] == ' ';
            if (line.final) multiLine_ = false;
            return true;
        }
        if (t.empty()) continue;
        if (t.size() >= 4 && t[3] == '-') {
            multiLine_ = true;
            std::memcpy(code_, t.data(), 3);
            line.final = false;
            return true;
        }
        // A line shorter than four characters counts as a final line too.
        line.final = true;
        return true;
    }
}

void TReplyReader::Reset() {
    lines_.Reset();
    lineLength_ = 0;
    lastCr_ = false;
    overflow_ = false;
    multiLine_ = false;
}
