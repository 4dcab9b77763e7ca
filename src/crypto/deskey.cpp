#include "crypto/deskey.h"

#include "crypto/desunit2.h"
#include "platform/keysource.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint8_t byte) {
    out += HexDigits[byte >> 4];
    out += HexDigits[byte & 0xF];
}

// The digit rule of the sealed form, kept for values written by earlier versions: no validation,
// arithmetic modulo 256, and 0 for a character beyond the end.
std::uint8_t SealedByte(std::string_view sealed, std::size_t at) {
    auto digit = [&](std::size_t i) -> unsigned {
        if (i >= sealed.size()) return 0;
        const unsigned c = static_cast<unsigned char>(sealed[i]);
        return c < 0x40 ? c - 0x30 : c - 0x37;
    };
    return std::uint8_t(digit(at) * 16 + digit(at + 1));
}

} // namespace

std::string DeriveMachineKey(std::string_view machineId,
                             const std::optional<std::string>& loginName) {
    std::string key;
    std::remove_copy(machineId.begin(), machineId.end(), std::back_inserter(key), '-');
    if (loginName)
        for (unsigned char c : *loginName)
            AppendHex(key, c);
    return key;
}

std::string GetMachineKey() {
    std::string stored = ReadStoredKey();
    if (!stored.empty()) return stored;
    return DeriveMachineKey(MachineId(), LoginName());
}

bool StoreMachineKey(std::string_view text) {
    return WriteStoredKey(text.empty() ? RandomKeyText() : std::string(text));
}

bool ClearMachineKey() {
    return DeleteStoredKey();
}

std::string SealPassword(TDES& des, std::string_view password) {
    if (password.size() > SealedArea) throw std::length_error("password longer than 128 bytes");
    std::uint8_t area[SealedArea] = {};
    des.InputType = SourceString;
    des.CipherMode = ECBMode;
    des.InputString.assign(password);
    des.OutputBuffer = area;
    des.Encipher(false);
    // The component keeps no copy of the clear password or a pointer into this frame.
    WipeBytes(des.InputString.data(), des.InputString.size());
    des.InputString.clear();
    des.OutputBuffer = nullptr;

    std::string sealed;
    sealed.reserve(SealedLength);
    AppendHex(sealed, std::uint8_t(password.size()));
    for (std::uint8_t b : area)
        AppendHex(sealed, b);
    return sealed;
}

std::string UnsealPassword(TDES& des, std::string_view sealed) {
    if (sealed.empty()) return {};
    const std::size_t n = SealedByte(sealed, 0);
    std::uint8_t in[SealedArea];
    std::uint8_t out[SealedArea] = {};
    for (std::size_t i = 0; i < SealedArea; ++i)
        in[i] = SealedByte(sealed, 2 + 2 * i);

    des.InputType = SourceByteArray;
    des.CipherMode = ECBMode;
    des.InputLength = SealedArea;
    des.InputBuffer = in;
    des.OutputBuffer = out;
    des.Decipher(false);
    des.InputBuffer = nullptr;
    des.OutputBuffer = nullptr;

    std::string password(reinterpret_cast<const char*>(out), std::min(n, SealedArea));
    WipeBytes(out, sizeof out);
    return password;
}
