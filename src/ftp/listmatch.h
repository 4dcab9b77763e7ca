#pragma once
// Matching a local file with the entries of a remote listing: the name a file is stored under, and
// the listing's date text as a date that can be compared with the local file's. Pure functions.

#include "ftp/ftptypes.h"
#include "platform/localfile.h"

#include <optional>
#include <string>
#include <string_view>

// "Jan" 1 .. "Dec" 12, compared exactly (case and whole text); 0 for anything else.
int MonthFromName(std::string_view text);

// Whether the name of a listing entry (as ParseListLine gives it) names the local file `local` on a
// server of type `type`. VMS and VM file systems know no letter case and list every name in
// capitals
// ("INDEX.HTML" for index.html): there ASCII letters compare without case, and a VMS name's
// ";version" is ignored if it still has one. Elsewhere names compare exactly. Double-byte
// Shift_JIS characters always compare exactly: their second byte may be an ASCII letter.
bool SameRemoteName(TFTPServerType type, std::string_view listed, std::string_view local);

// Every space (0x20) becomes "_"; nothing else changes. Shift_JIS trail bytes are never 0x20.
std::string SpacesToUnderscores(std::string_view text);

// The date text of a listing entry ("Jan 5 12:34", "Jan 5 1999", "99/01/05 12:34", ...) as a local
// date and time with 0 seconds; nullopt when it is no valid date (unknown). The first token alone
// may name the month; "h:m" sets the time ("h:mAM", "h:mPM" a 12-hour one), "y/m/d" the date
// (years 80..999 count from 1900, those below 80 from 2000), a number above 1900 the year, any
// other number the day. Dashed dates: "m-d", and with a year (counted as above) "y-m-d" when the
// first part has four digits or is above 31, "d-m-y" when it is above 12, else "m-d-y" (MS-DOS
// listings). Japanese words set what their units say: "4月" the month, "18日" the day, "2003年"
// the year, "14時21分" the time (Shift_JIS, EUC-JP or UTF-8). At most ten tokens are read.
//
// A text without a year takes the year of `now`; when that puts it more than one day ahead of `now`
// (a file changed in December seen in January) it is taken in the year before: a listing that shows
// a time shows it for the last six months only.
std::optional<TDateTime> ParseListingDate(std::string_view text, const TDateTime& now);

// Whether the listing's date text leaves no doubt that its file is older than the local file
// changed at `localUtc` (seconds since 1970 UTC), or no doubt that it is not: the text is a clock
// time in the server's zone, which may be any from UTC-12 to UTC+14, and a date without a time of
// day may be any moment of its day. Otherwise only the server's exact time can tell.
bool ListingDateLeavesNoDoubt(std::string_view text, const TDateTime& now, std::int64_t localUtc);
