#include "ftp/storesource.h"

#include "kanji/jconvert.h"
#include "kanji/jstrm.h"
#include "kanji/utf8text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

void TStoreSource::Begin(int fd, TTransferType mode, const TTextCheck& source) {
    fd_ = fd;
    mode_ = mode;
    source_ = source.Source;
    skipBom_ = source.Bom;
    recoder_.reset();
    const bool utf8 = source_ == TTextSource::Utf8;
    if (ChecksText(mode) && utf8 != (mode == textUTF8))
        recoder_ = std::make_unique<TSjisRecoder>(utf8 ? TSjisRecoder::Direction::FromUtf8
                                                       : TSjisRecoder::Direction::ToUtf8,
                                                  mode == textSJIS || mode == textUTF8);
    out_.clear();
    outEnds_.clear();
    outSent_ = outReported_ = 0;
    localEof_ = false;
}

void TStoreSource::Reset() {
    fd_ = -1;
    aheadPos_ = aheadEnd_ = 0;
    aheadEof_ = aheadFailed_ = false;
    out_.clear();
    outEnds_.clear();
    outSent_ = outReported_ = 0;
    localEof_ = false;
}

bool TStoreSource::Refill() {
    out_.clear();
    outEnds_.clear();
    outSent_ = outReported_ = 0;
    while (!localEof_ && out_.size() < OutputBatch) {
        std::string_view block;
        if (!NextBlock(block)) return !out_.empty();
        if (block.empty()) {
            localEof_ = true;
            break;
        }
        if (!AddBlock(block)) {
            aheadPos_ -= block.size();
            return !out_.empty();
        }
    }
    return true;
}

bool TStoreSource::TakeSentBlock(std::size_t& fileBytes) {
    if (outReported_ >= outEnds_.size() || outEnds_[outReported_].end > outSent_) return false;
    fileBytes = outEnds_[outReported_].fileBytes;
    ++outReported_;
    return true;
}

// Converts one block by the transfer mode and appends it to the output.
bool TStoreSource::AddBlock(std::string_view block) {
    if (mode_ == BinaryTransfer) {
        out_.append(block);
        outEnds_.push_back({out_.size(), block.size()});
        return true;
    }
    // Text is cut at character ends and converted per block; a NUL byte means the file is not
    // text, and sending only the part before it would lose the rest.
    if (block.find('\0') != std::string_view::npos) return false;
    std::size_t drop = 0;
    if (block.size() == BlockSize) {
        // The last character starts the next block: it may be the first half of a pair, or a
        // UTF-8 character cut short.
        if (source_ == TTextSource::Utf8 && ChecksText(mode_))
            drop = Utf8LastCharSize(block);
        else
            drop = IsTrailByte(block, BlockSize) ? 2 : 1;
        // A CR before the cut may be the first half of CR LF: EUC turns the pair into LF only when
        // both halves are in one block.
        if ((mode_ == textEUC || mode_ == textUTF8) && drop < block.size() &&
            block[block.size() - drop - 1] == '\r')
            ++drop;
        if (drop >= block.size()) drop = 0;
    }
    const std::string_view whole = block.substr(0, block.size() - drop);
    std::string_view text = whole;
    if (skipBom_ && text.starts_with(Utf8Bom)) text.remove_prefix(Utf8Bom.size());
    const std::size_t before = out_.size();
    if (!Convert(text, out_)) {
        out_.resize(before);
        return false;
    }
    skipBom_ = false;
    aheadPos_ -= drop;
    outEnds_.push_back({out_.size(), whole.size()});
    return true;
}

bool TStoreSource::Convert(std::string_view text, std::string& out) {
    if (recoder_) {
        recoded_.clear();
        std::size_t failedAt = 0;
        if (!recoder_->Convert(text, recoded_, failedAt)) return false;
        text = recoded_;
    }
    if (mode_ == textJIS)
        out += SjisToJis(text);
    else if (mode_ == textEUC)
        out += ConvertLineEnd(SjisToEuc(text), leLF);
    else if (mode_ == textUTF8)
        out += ConvertLineEnd(text, leLF);
    else
        out.append(text);
    return true;
}

// The next block of the file, at most BlockSize bytes, empty at the end. False when the file
// cannot be read; what was read before the failure has been handed out first.
bool TStoreSource::NextBlock(std::string_view& block) {
    if (aheadEnd_ - aheadPos_ < BlockSize && !aheadEof_ && !aheadFailed_) {
        if (!ahead_) ahead_ = std::make_unique<char[]>(ReadAhead);
        // Keep the unsent tail at the front, so that a block never straddles two reads.
        std::memmove(ahead_.get(), ahead_.get() + aheadPos_, aheadEnd_ - aheadPos_);
        aheadEnd_ -= aheadPos_;
        aheadPos_ = 0;
        while (aheadEnd_ < ReadAhead) {
            const ssize_t n = ::read(fd_, ahead_.get() + aheadEnd_, ReadAhead - aheadEnd_);
            if (n == 0) {
                aheadEof_ = true;
                break;
            }
            if (n < 0) {
                if (errno == EINTR) continue;
                aheadFailed_ = true;
                break;
            }
            aheadEnd_ += static_cast<std::size_t>(n);
        }
    }
    const std::size_t length = std::min(aheadEnd_ - aheadPos_, BlockSize);
    if (length == 0 && aheadFailed_) return false;
    block = std::string_view(ahead_.get() + aheadPos_, length);
    aheadPos_ += length;
    return true;
}
