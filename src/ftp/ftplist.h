#pragma once
// Reading the lines of a LIST reply: an entry's name, its size and date columns as text, and
// whether it is a folder, in the listing format of the server type found at login. Pure functions:
// the only thing carried from one line to the next is the TListState the caller hands in.

#include "ftp/ftptypes.h"

#include <cstddef>
#include <string>
#include <string_view>

// What a listing carries from line to line. VMS servers write a long file name on a line of its own
// and the rest of the entry on the next line. Use one state per listing, starting empty, and pass
// the lines of that listing in order; other server types neither read nor change it.
struct TListState {
    // A VMS line waiting for the rest of its entry; never more than one line.
    std::string PendingLine;
};

// The n-th word of the line, counting from 0. Words are separated by runs of spaces (only 0x20). A
// word is returned only when a space follows it, so the last word of a line never is, and a line
// that starts with a space has an empty word 0. Empty when there is no such word.
std::string ListWord(std::string_view line, std::size_t n);

// The name at the end of the line: everything from the first "->" on (a link's target) and then the
// trailing spaces are dropped; the result is the text after the last space, or the whole text when
// it has no space. Cut to 999 bytes at most, never inside a Shift_JIS double-byte character.
std::string ListName(std::string_view line);

// Reads one listing line (without its line end). True when the line is an entry: then name, size
// and date hold text taken from the line (date: its columns joined by single spaces, empty columns
// kept as empty) and isDirectory tells folders from files. Sizes and dates are not checked or
// converted.
//
// ftpstDefault, ftpstUNIX, ftpstULTRIX, ftpstU5000, ftpstSINTFTPD:
//   "-rw-r--r--  1 owner  group  1234 Jan  5 12:34 read me.txt"
//   First character "-", "f" or "l": a file (a symbolic link may lead to either; the server decides
//   what a store over it does); "d": a folder; anything else: false. The date columns are found by
//   their look, from word 2 on, the first that match: "Jan 5 12:34" or "Jan 5 2019" (English month,
//   day, time or year); "09-26 13:45", "2005-06-07 21:22", "1999/10/12 17:12" (a numeric date and a
//   time or year); the Japanese "4月 18日 2003年", "1月 26 03:10", "11月12日 14時21分" (units in
//   Shift_JIS, EUC-JP or UTF-8). Size is the word before the date; name is all the text after it
//   (names keep their spaces), with a link's " -> target", the trailing spaces and a trailing "/"
//   dropped. When no date with a name after it is found: size is word 4 and date words 5-7, or,
//   when word 1 starts with "[" (a bracketed permission set and no group: "d [RWCEAFMS] owner 512
//   Jan 16 18:53 login"), word 3 and words 4-6; name is the text after word 7 (6) when word 6 (5)
//   looks like a day and the next like a time or year, else ListName of the line. name is set even
//   when the line is rejected; size, date and isDirectory are then untouched.
// ftpstDefault also reads the MS-DOS style of Windows servers (tried first, for lines starting
// with a digit):
//   "04-27-00  12:09PM       <DIR>          name", "12-07-2026 10:30         1,234 my name"
//   A numeric date of three parts, a time (with or without AM/PM), "<DIR>" (a folder, size empty)
//   or a size (its commas dropped), and the name: all the text after, trailing spaces dropped.
//   date is the date and the time. A line that does not read so goes on as a UNIX line.
// ftpstVmsMultinet, ftpstVmsUcx:
//   "LOGIN.COM;3   2/3   5-JAN-2000 12:34:56 [GROUP,OWNER] (RWED,RWED,RE,)"
//   A line without ";" is false (headers, totals). Name: word 0 without its ";version"; a name of
//   type ".DIR" is a folder, named without ".DIR". Size is word 1, date words 2 and 3. A line whose
//   word 0 is empty (only the name, or a leading space) is kept in state and false: the next
//   non-empty line is read as kept line + " " + that line. When that still has no name (the kept
//   line starts with a space), the kept line is dropped and the new line is read on its own.
// ftpstVM:
//   "PROFILE  EXEC  V  72  11  1 1999-01-27 11:43:09 A1"
//   Always true, a file: name is word 0 + "." + word 1, size word 3, date words 6 and 7.
// ftpstVMVPS:
//   A line containing "=", "totals:", " rf trks" or "track limit" is false. Otherwise a file:
//   name is word 0 + "." + word 1 (file name and type), size word 2, date word 7 + " " + word 6.
// Every other type (ftpstAutoDetect, ftpstMVS, ftpstMacFtpd, ftpstClix, ftpstQVT, ftpstNCSA,
// ftpstChameleon): false, and no output is touched.
//
// Any byte string is accepted; the cost is linear in the line's length, and no output is longer
// than the line plus the kept VMS line plus one byte.
bool ParseListLine(TFTPServerType serverType, std::string_view line, std::string& name,
                   std::string& size, std::string& date, bool& isDirectory, TListState& state);

// The units of a Japanese date as listings write them after their numbers.
enum class TDateUnit { None, Year, Month, Day, Hour, Minute };

// One word of a Japanese date: numbers of one to four digits, each followed by its unit ("4月",
// "18日", "2003年", "11月12日", "14時21分"). The units may come in Shift_JIS, EUC-JP or UTF-8, the
// codes a listing arrives in. Parts is 0 for any other word, and never more than 2.
struct TKanjiDateWord {
    int Parts = 0;
    TDateUnit Unit[2] = {TDateUnit::None, TDateUnit::None};
    int Value[2] = {0, 0};
};
TKanjiDateWord ReadKanjiDateWord(std::string_view word);

// The "AM" or "PM" (or "am", "pm") that ends a 12-hour time of an MS-DOS listing ("12:09PM"): 0 for
// AM, 1 for PM, -1 when the text has none after something else.
int HalfOfDay(std::string_view time);
