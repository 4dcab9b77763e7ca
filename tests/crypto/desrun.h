#pragma once
// Small helpers of the DES tests: hexadecimal text and one byte-array run of a component.

#include "crypto/desunit2.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(std::uint8_t(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

inline std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// One SourceByteArray run; the output is as long as the run says it wrote (InputLength afterwards),
// and nothing may have been written after that.
inline Bytes RunBytes(TDES& des, bool encipher, const Bytes& in, bool keyReady = false) {
    Bytes out(in.size() + 16, 0xEE);
    des.InputType = SourceByteArray;
    des.InputBuffer = in.data();
    des.OutputBuffer = out.data();
    des.InputLength = std::uint16_t(in.size());
    encipher ? des.Encipher(keyReady) : des.Decipher(keyReady);
    if (std::count(out.begin() + des.InputLength, out.end(), 0xEE) !=
        std::ptrdiff_t(out.size()) - des.InputLength)
        throw std::logic_error("the run wrote past InputLength");
    out.resize(des.InputLength);
    return out;
}

inline Bytes EcbBlock(std::string_view keyHex, std::string_view blockHex, bool encipher = true) {
    TDES des;
    des.SetKey(AsText(FromHex(keyHex)));
    des.CipherMode = ECBMode;
    return RunBytes(des, encipher, FromHex(blockHex));
}
