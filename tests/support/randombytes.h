#pragma once
// Bytes of every value in no order, the same for the same seed: upload contents that no
// conversion or line-end rule leaves alone by chance.

#include <cstddef>
#include <string>

std::string RandomBytes(std::size_t size, unsigned seed);
