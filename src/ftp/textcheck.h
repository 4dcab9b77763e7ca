#pragma once
// A text-mode file read once before its store: is it UTF-8 or Shift_JIS, and has every character a
// form in the transfer code? The answer comes before a byte of the file is sent, so a file that
// cannot be converted fails whole instead of arriving cut short.

#include "ftp/ftptypes.h"

#include <cstddef>
#include <string>

enum class TTextSource { Sjis, Utf8 };

struct TTextCheck {
    TTextSource Source = TTextSource::Sjis;
    bool Bom = false; // a UTF-8 byte-order mark, dropped when sent
    bool Ok = true;   // false also when the file cannot be read
    // Where the first character without a form is: its line (1-based) and, for UTF-8, the
    // character itself (UTF-8); for Shift_JIS its bytes as they are.
    std::size_t Line = 0;
    std::string Character;
};

// True for the modes that convert a file's text and so read it first.
bool ChecksText(TTransferType mode);

// Reads the open file `fd` from its start to its end; the file position is left at the start.
TTextCheck CheckTextFile(int fd, TTransferType mode);
