#pragma once
// Single DES (FIPS 46) as the block cipher of the cipher component: 8-byte blocks, the first 8
// bytes of the key text as the key (parity bits ignored; a shorter key is filled with zero bytes).

#include "crypto/cryptcon.h"

#include <cstdint>

class TDES : public TCrypto {
  public:
    TDES();
    ~TDES() override;

  protected:
    void EncipherBlock() override;
    void DecipherBlock() override;
    void SetupKey() override;

  private:
    void Crypt(bool decipher);

    std::uint64_t SubKeys[16] = {}; // 48 bits each, round 1 first
    std::uint32_t C = 0;            // the two 28-bit halves of the key after permuted choice 1
    std::uint32_t D = 0;
};
