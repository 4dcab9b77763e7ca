#pragma once
// The command line: P1..Pn, the options they carry, and the files they name. Files are named as
// the host gives them; a profile name and a key text are in the system code page.

#include <string>
#include <string_view>
#include <vector>

using TParams = std::vector<std::string>;

// Pk, 1-based; empty beyond the last parameter.
std::string Param(const TParams& params, std::size_t k);

// Only the ASCII letters are folded; every other byte stays as it is.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

// "/SERVER:" followed by a profile name (the first 8 characters, upper-cased).
bool IsServerOption(std::string_view param);
// The name after "/SERVER:", as typed; empty when `param` is not the option.
std::string ServerOptionName(std::string_view param);
// The whole parameter upper-cased is "/SET".
bool IsSetOption(std::string_view param);
// P2 upper-cased is "/NOMSG": no error message boxes.
bool NoMessages(const TParams& params);

// The key options, looked for only when there is exactly one parameter.
enum class TKeyOption { None, CreateKey, ClearKey };
struct TKeyRequest {
    TKeyOption Option = TKeyOption::None;
    std::string Text; // for CreateKey: P1 from its 12th character, as typed
};
TKeyRequest KeyOption(const TParams& params);

// True when the files come from the file picker: no parameters, or only a "/SERVER:" option.
bool FilesFromPicker(const TParams& params);

// Appends every entry matching `pattern` that is not a folder, as the folder part of the pattern
// followed by the entry's name, in search order.
void AddMatchingFiles(std::string_view pattern, std::vector<std::string>& list);

// The files the parameters name, in order; options in their places are skipped. A parameter that
// names a folder is kept (the session fails it with its reason); a pattern adds the files it
// matches and passes over the folders among its matches, which the user did not name.
void AddCommandLineFiles(const TParams& params, std::vector<std::string>& list);

// Arguments from the host (UTF-8): a file's path stays as it is, whatever characters it holds; a
// "/SERVER:" option or a key option in first place goes to the system code page.
TParams ParamsFromArguments(const std::vector<std::string>& arguments);
