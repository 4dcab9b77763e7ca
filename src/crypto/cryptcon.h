#pragma once
// The block-cipher component: input selection, zero padding, the ECB, CBC and CFB chaining modes
// and the initialisation vector. A descendant supplies the block cipher itself.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum TSourceType : std::uint8_t { SourceFile = 0, SourceByteArray = 1, SourceString = 2 };
enum TCipherMode : std::uint8_t { ECBMode = 0, CBCMode = 1, CFBMode = 2 };

// A file of the file mode could not be opened, read, written or closed. `Path` is the name as given
// (system code page); what() names the path and the system's reason.
class EInOutError : public std::runtime_error {
  public:
    EInOutError(std::string path, int error);
    std::string Path;
    int ErrorCode;
};

class TCrypto {
  public:
    // The largest piece the component processes in one run.
    static constexpr std::size_t MaxInput = 4096;

    virtual ~TCrypto();
    TCrypto(const TCrypto&) = delete;
    TCrypto& operator=(const TCrypto&) = delete;

    // The key text can be written but not read back. The old text is wiped first.
    void SetKey(std::string_view key);

    // Run on the input that InputType selects. With KeyReady false the round keys are derived from
    // the key afresh (and, in CBC and CFB, the chaining register from IVector); with KeyReady true
    // the previous run's keys and chain go on, so a long input can be processed in several runs.
    // Throws std::invalid_argument when InputLength (or InputString) exceeds MaxInput or a buffer
    // the run needs is missing; EInOutError in the file mode.
    void Encipher(bool KeyReady);
    void Decipher(bool KeyReady); // does nothing for SourceString

    // Empty IVector: a random printable one is made first. Its first BlockSize bytes (zero bytes
    // standing in for missing ones) become the chaining register.
    void LoadIV();
    // BlockSize random characters from '!' to '}'.
    void MakeRandomIV();

    // Published properties; reading and writing them has no side effect.
    TSourceType InputType = SourceFile;
    std::string InputFilePath;
    std::string OutputFilePath;
    std::string InputString;
    // Bytes of input; after an ECB or CBC run, the padded length that was written.
    std::uint16_t InputLength = 0;
    TCipherMode CipherMode = ECBMode;
    std::string IVector;

    // Caller-owned. The output needs room for InputLength rounded up to a multiple of BlockSize.
    const std::uint8_t* InputBuffer = nullptr;
    std::uint8_t* OutputBuffer = nullptr;

  protected:
    explicit TCrypto(std::uint8_t blockSize);

    // BlockBuffer in place.
    virtual void EncipherBlock() = 0;
    virtual void DecipherBlock() = 0;
    // Round keys from Key.
    virtual void SetupKey() = 0;
    // WorkBuffer (InputLength bytes) to OutputBuffer according to CipherMode; pads in ECB and CBC.
    virtual void EncipherData();
    virtual void DecipherData();

    std::string Key;
    std::vector<std::uint8_t> IVRegister; // empty until first needed
    std::uint8_t WorkBuffer[MaxInput + 1] = {};
    std::vector<std::uint8_t> BlockBuffer;
    const std::uint8_t BlockSize;

  private:
    void Run(bool encipher, bool keyReady);
    void RunFile(bool encipher);
    void PadWork();
};

// Overwrites memory so that the compiler cannot drop the stores.
void WipeBytes(void* data, std::size_t size);
