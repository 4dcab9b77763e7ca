#include "crypto/cryptcon.h"

#include "platform/codepage.h"
#include "platform/filehandle.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

std::string HostPath(const std::string& path) {
    auto host = SystemToUtf8(path);
    if (!host) throw EInOutError(path, EILSEQ);
    return *host;
}

// Up to `size` bytes; fewer only at the end of the file.
std::size_t ReadFull(int fd, std::uint8_t* data, std::size_t size, const std::string& path) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(path, errno);
        }
        if (n == 0) break;
        done += std::size_t(n);
    }
    return done;
}

// A short write (a full disk) is an error: a silently shortened output file would lose data.
void WriteFull(int fd, const std::uint8_t* data, std::size_t size, const std::string& path) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(path, errno);
        }
        if (n == 0) throw EInOutError(path, ENOSPC);
        done += std::size_t(n);
    }
}

} // namespace

EInOutError::EInOutError(std::string path, int error)
    : std::runtime_error("I/O error on " + path + ": " + std::strerror(error)),
      Path(std::move(path)), ErrorCode(error) {}

void WipeBytes(void* data, std::size_t size) {
    volatile auto* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

TCrypto::TCrypto(std::uint8_t blockSize) : BlockBuffer(blockSize), BlockSize(blockSize) {}

TCrypto::~TCrypto() {
    WipeBytes(Key.data(), Key.size());
}

void TCrypto::SetKey(std::string_view key) {
    WipeBytes(Key.data(), Key.size());
    Key.assign(key);
}

void TCrypto::Encipher(bool KeyReady) {
    Run(true, KeyReady);
}

void TCrypto::Decipher(bool KeyReady) {
    Run(false, KeyReady);
}

void TCrypto::Run(bool encipher, bool keyReady) {
    // The working copies hold clear text (a password, when the run seals or unseals one); none of
    // it outlives the run, whatever way it ends.
    struct WipeWork {
        TCrypto& c;
        ~WipeWork() {
            WipeBytes(c.WorkBuffer, sizeof c.WorkBuffer);
            WipeBytes(c.BlockBuffer.data(), c.BlockBuffer.size());
        }
    } wipe{*this};

    const bool chained = CipherMode == CBCMode || CipherMode == CFBMode;
    if (!keyReady) {
        SetupKey();
        if (chained) LoadIV();
    } else if (chained && IVRegister.empty()) {
        // Continuing a chain that was never started: start it rather than read a missing register.
        LoadIV();
    }

    switch (InputType) {
    case SourceFile:
        RunFile(encipher);
        break;
    case SourceByteArray:
        if (InputLength > MaxInput) throw std::invalid_argument("InputLength exceeds 4096 bytes");
        if (InputLength > 0 && (!InputBuffer || !OutputBuffer))
            throw std::invalid_argument("InputBuffer or OutputBuffer not set");
        std::copy_n(InputBuffer, InputLength, WorkBuffer);
        encipher ? EncipherData() : DecipherData();
        break;
    case SourceString:
        if (!encipher) break;
        if (InputString.size() > MaxInput)
            throw std::invalid_argument("InputString exceeds 4096 bytes");
        InputLength = std::uint16_t(InputString.size());
        if (InputLength > 0 && !OutputBuffer) throw std::invalid_argument("OutputBuffer not set");
        std::copy_n(InputString.data(), InputLength, WorkBuffer);
        EncipherData();
        break;
    }
}

void TCrypto::RunFile(bool encipher) {
    FileHandle in(::open(HostPath(InputFilePath).c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) throw EInOutError(InputFilePath, errno);
    FileHandle out(
        ::open(HostPath(OutputFilePath).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.Get() < 0) throw EInOutError(OutputFilePath, errno);

    std::size_t got;
    do {
        got = ReadFull(in.Get(), WorkBuffer, MaxInput, InputFilePath);
        InputLength = std::uint16_t(got);
        InputBuffer = WorkBuffer;
        OutputBuffer = WorkBuffer;
        encipher ? EncipherData() : DecipherData();
        WriteFull(out.Get(), WorkBuffer, InputLength, OutputFilePath);
    } while (got == MaxInput);

    if (out.Close() != 0) throw EInOutError(OutputFilePath, errno);
}

void TCrypto::PadWork() {
    while (InputLength % BlockSize != 0)
        WorkBuffer[InputLength++] = 0;
}

void TCrypto::EncipherData() {
    if (CipherMode != CFBMode) PadWork();
    const std::size_t bs = BlockSize;
    for (std::size_t at = 0; at < InputLength; at += bs) {
        const std::uint8_t* in = WorkBuffer + at;
        std::uint8_t* out = OutputBuffer + at;
        const std::size_t n = std::min<std::size_t>(bs, InputLength - at);
        switch (CipherMode) {
        case ECBMode:
            std::copy_n(in, bs, BlockBuffer.begin());
            EncipherBlock();
            std::copy_n(BlockBuffer.begin(), bs, out);
            break;
        case CBCMode:
            for (std::size_t i = 0; i < bs; ++i)
                BlockBuffer[i] = in[i] ^ IVRegister[i];
            EncipherBlock();
            std::copy_n(BlockBuffer.begin(), bs, IVRegister.begin());
            std::copy_n(BlockBuffer.begin(), bs, out);
            break;
        case CFBMode:
            std::copy_n(IVRegister.begin(), bs, BlockBuffer.begin());
            EncipherBlock();
            for (std::size_t i = 0; i < n; ++i)
                out[i] = in[i] ^ BlockBuffer[i];
            if (n == bs) std::copy_n(out, bs, IVRegister.begin());
            break;
        }
    }
}

void TCrypto::DecipherData() {
    if (CipherMode != CFBMode) PadWork();
    const std::size_t bs = BlockSize;
    std::uint8_t cipher[256];
    for (std::size_t at = 0; at < InputLength; at += bs) {
        const std::uint8_t* in = WorkBuffer + at;
        std::uint8_t* out = OutputBuffer + at;
        const std::size_t n = std::min<std::size_t>(bs, InputLength - at);
        // The output may be the work buffer itself: keep the ciphertext before writing.
        std::copy_n(in, n, cipher);
        switch (CipherMode) {
        case ECBMode:
            std::copy_n(cipher, bs, BlockBuffer.begin());
            DecipherBlock();
            std::copy_n(BlockBuffer.begin(), bs, out);
            break;
        case CBCMode:
            std::copy_n(cipher, bs, BlockBuffer.begin());
            DecipherBlock();
            for (std::size_t i = 0; i < bs; ++i)
                out[i] = BlockBuffer[i] ^ IVRegister[i];
            std::copy_n(cipher, bs, IVRegister.begin());
            break;
        case CFBMode:
            std::copy_n(IVRegister.begin(), bs, BlockBuffer.begin());
            EncipherBlock();
            for (std::size_t i = 0; i < n; ++i)
                out[i] = cipher[i] ^ BlockBuffer[i];
            if (n == bs) std::copy_n(cipher, bs, IVRegister.begin());
            break;
        }
    }
}

void TCrypto::LoadIV() {
    if (IVector.empty()) MakeRandomIV();
    IVRegister.assign(BlockSize, 0);
    std::copy_n(IVector.begin(), std::min<std::size_t>(BlockSize, IVector.size()),
                IVRegister.begin());
}

void TCrypto::MakeRandomIV() {
    // The clock alone repeats within one tick; the system's entropy is mixed in.
    std::random_device entropy;
    std::seed_seq seed{std::uint32_t(entropy()),
                       std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count())};
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> pick(0, 92);
    IVector.clear();
    for (std::size_t i = 0; i < BlockSize; ++i)
        IVector += char(33 + pick(gen));
}
