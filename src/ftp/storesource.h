#pragma once
// The bytes of a store, from an open local file to what the data socket is handed: the file is
// read ahead in large pieces, cut into blocks, converted block by block by the transfer mode, and
// the converted blocks are batched so that many go to one send call. For each block it keeps how
// many bytes of the file it took, so that the progress notices still count per block, once the
// block has gone out whole. No socket here: the owner sends what Pending gives.

#include "ftp/ftptypes.h"
#include "ftp/textcheck.h"

#include "platform/textcode.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStoreSource {
  public:
    // Bytes of the local file per block.
    static constexpr std::size_t BlockSize = 2048;
    // One read per 32 blocks instead of one per block.
    static constexpr std::size_t ReadAhead = 32 * BlockSize;
    // Converted bytes gathered for the socket before it is handed any.
    static constexpr std::size_t OutputBatch = 128 * BlockSize;

    // A new transfer from the open file `fd` (not owned), whose text (in the text modes) is read
    // as `source` says, a byte-order mark dropped. The read-ahead carries on from where it is;
    // Reset starts it over.
    void Begin(int fd, TTransferType mode, const TTextCheck& source = {});
    // Forgets the file and everything read or converted from it.
    void Reset();

    // Converted bytes not yet sent; empty when the batch has gone (then Refill) or at the end.
    std::string_view Pending() const { return std::string_view(out_).substr(outSent_); }
    // A new batch, once the last has gone. False when the file cannot be read, or a text block
    // is no text (it holds a NUL), before any block of the batch was converted; what came before
    // such a block goes out first, and the next call fails at once. True with Pending empty: the
    // whole file has gone.
    bool Refill();
    // `bytes` of Pending went to the socket.
    void Sent(std::size_t bytes) { outSent_ += bytes; }
    // The next block that has gone out whole, once each: the bytes of the file it took.
    bool TakeSentBlock(std::size_t& fileBytes);

  private:
    bool NextBlock(std::string_view& block);
    bool AddBlock(std::string_view block);
    // The text of a block in the code of the transfer mode; false when a character has none.
    bool Convert(std::string_view block, std::string& out);

    int fd_ = -1;
    TTransferType mode_ = BinaryTransfer;
    TTextSource source_ = TTextSource::Sjis;
    bool skipBom_ = false;
    std::unique_ptr<TSjisRecoder> recoder_; // between UTF-8 and Shift_JIS, when one is needed
    std::string recoded_;
    // A held-back tail (half a character, a CR) is just not consumed: aheadPos_ steps back.
    std::unique_ptr<char[]> ahead_;
    std::size_t aheadPos_ = 0;
    std::size_t aheadEnd_ = 0;
    bool aheadEof_ = false;
    bool aheadFailed_ = false;
    std::string out_;
    std::size_t outSent_ = 0;
    struct BlockEnd {
        std::size_t end; // in out_
        std::size_t fileBytes;
    };
    std::vector<BlockEnd> outEnds_;
    std::size_t outReported_ = 0;
    bool localEof_ = false;
};
