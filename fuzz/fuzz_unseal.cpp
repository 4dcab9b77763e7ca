// UnsealPassword on arbitrary text: it must never read outside the value or return more than the
// sealed area; and any password that fits seals to 258 uppercase digits and unseals to itself.
#include "crypto/deskey.h"
#include "crypto/desunit2.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_unseal: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    TDES des;
    des.SetKey(input.substr(0, 8));

    const std::string password = UnsealPassword(des, input);
    Check(password.size() <= SealedArea, "unsealed more than the area");
    if (input.empty()) Check(password.empty(), "empty value gave a password");

    if (input.size() <= SealedArea) {
        const std::string sealed = SealPassword(des, input);
        Check(sealed.size() == SealedLength, "sealed length");
        Check(sealed.find_first_not_of("0123456789ABCDEF") == std::string::npos, "sealed digits");
        Check(UnsealPassword(des, sealed) == input, "round trip");
    }
    return 0;
}
