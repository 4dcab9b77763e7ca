#pragma once
// Japanese text between UTF-8 and Shift_JIS for the contents of files. A character goes by JIS X
// 0208 where it is there (U+301C WAVE DASH is 0x8160, as the JIS mapping has it); with `windows`
// also by CP932's own characters (NEC and IBM extensions, U+FF5E), which only a Shift_JIS reader
// knows. One converter serves a whole file: opened once, it converts piece after piece.

#include <cstddef>
#include <string>
#include <string_view>

class TSjisRecoder {
  public:
    enum class Direction { FromUtf8, ToUtf8 };
    TSjisRecoder(Direction direction, bool windows);
    ~TSjisRecoder();
    TSjisRecoder(const TSjisRecoder&) = delete;
    TSjisRecoder& operator=(const TSjisRecoder&) = delete;

    // Appends the converted `text` to `out`. False when a character has no form in the target (or
    // the input is not valid in its code); `failedAt` is then the offset of its first byte, and
    // `out` holds what came before it.
    bool Convert(std::string_view text, std::string& out, std::size_t& failedAt);

  private:
    // The input bytes of the character at the front of `text`.
    std::size_t CharSize(std::string_view text) const;
    bool Through(void* cd, const char*& in, std::size_t& inLeft, std::string& out);

    Direction direction_;
    void* jis_ = nullptr;     // by JIS X 0208
    void* windows_ = nullptr; // by CP932; null when not allowed
};
