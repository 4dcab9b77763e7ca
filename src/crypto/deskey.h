#pragma once
// The machine key under which profiles keep their passwords, and the sealed form of a password:
// 2 hexadecimal digits of its length, then 128 bytes as 256 digits (uppercase), the first
// 8 * ceil(n / 8) of them the DES-ECB encipherment of the zero-padded password, the rest zero.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class TDES;

constexpr std::size_t SealedLength = 258;
constexpr std::size_t SealedArea = 128; // bytes; also the longest password that can be sealed

// The stored key when there is one, else the derived key of this machine and user.
std::string GetMachineKey();

// The machine id with every "-" removed, then each byte of the login name as two uppercase
// hexadecimal digits (nothing when the name is unknown).
std::string DeriveMachineKey(std::string_view machineId,
                             const std::optional<std::string>& loginName);

// Stores `text`, or a new random key of 32 hexadecimal digits when it is empty. False when the key
// file cannot be written (the old key, if any, stays).
bool StoreMachineKey(std::string_view text);

// Deletes the stored key, so the derived key is used from now on. False when it cannot be deleted.
bool ClearMachineKey();

// The sealed form under `des`'s key (ECB mode is set). Throws std::length_error for a password
// longer than SealedArea bytes, which the form cannot hold.
std::string SealPassword(TDES& des, std::string_view password);

// The password back from its sealed form; empty for an empty value. Each digit counts as c - '0'
// below '@' and c - '7' from there (so only 0-9 and A-F read right); a value shorter than 258
// characters reads its missing digits as 0, characters after the 258th are ignored. The length
// digits choose how many of the 128 deciphered bytes are returned (all of them when larger).
std::string UnsealPassword(TDES& des, std::string_view sealed);
