#include "ftp/storesource.h"

#include "kanji/jconvert.h"
#include "kanji/jstrm.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

void TStoreSource::Begin(int fd, TTransferType mode) {
    fd_ = fd;
    mode_ = mode;
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
    if (block.size() == BlockSize) {
        // The last character starts the next block: it may be the first half of a pair.
        std::size_t drop = IsTrailByte(block, BlockSize) ? 2 : 1;
        // A CR before the cut may be the first half of CR LF: EUC turns the pair into LF only when
        // both halves are in one block.
        if (mode_ == textEUC && block[block.size() - drop - 1] == '\r') ++drop;
        aheadPos_ -= drop;
        block.remove_suffix(drop);
    }
    if (mode_ == textJIS)
        out_ += SjisToJis(block);
    else if (mode_ == textEUC)
        out_ += ConvertLineEnd(SjisToEuc(block), leLF);
    else
        out_.append(block);
    outEnds_.push_back({out_.size(), block.size()});
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
