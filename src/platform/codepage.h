#pragma once
// The system code page. Every text inside the program is a Shift_JIS (CP932) byte string; the host
// speaks UTF-8. These functions are the only place where the two meet.

#include <optional>
#include <string>
#include <string_view>

class QString;

// A conversion between two iconv character sets. A sequence that cannot be converted fails the call
// (nullopt), unless `replacement` is given: it then stands for each offending byte.
std::optional<std::string> IconvConvert(const char* to, const char* from, std::string_view text,
                                        std::string_view replacement = {});

// UTF-8 from the host (an argument, a directory entry) to the system code page. Refused (nullopt)
// when a character has no CP932 form, or when CP932 would not give the same UTF-8 back (U+301C
// WAVE DASH comes back as U+FF5E): such a name must never be opened under another name.
std::optional<std::string> Utf8ToSystem(std::string_view utf8);

// System code page to UTF-8, for a POSIX call. nullopt when the bytes are not valid CP932.
std::optional<std::string> SystemToUtf8(std::string_view sjis);

// For the widgets: bytes that are not valid CP932 show as U+FFFD rather than vanish.
QString SystemToQString(std::string_view sjis);
// From the widgets: nullopt when the text has no exact CP932 form.
std::optional<std::string> QStringToSystem(const QString& text);

// The texts of a server's control connection as the FTP component holds them: UTF-8 once the names
// go in UTF-8 (`utf8`), else the system code page.
QString ServerTextToQString(std::string_view text, bool utf8);
std::optional<std::string> QStringToServerText(const QString& text, bool utf8);
// As the host gives it: a local name or path, UTF-8.
std::string ServerTextToHost(std::string_view text, bool utf8);
// A local name in the server's code; nullopt when it has no exact form there.
std::optional<std::string> HostToServerText(std::string_view host, bool utf8);

// Locale-aware comparison of two system-code-page names (<0, 0, >0).
int SystemCompareLocale(std::string_view a, std::string_view b);
