#include "app/cmdline.h"

#include "platform/codepage.h"
#include "platform/dirsearch.h"

std::string Param(const TParams& params, std::size_t k) {
    return k >= 1 && k <= params.size() ? params[k - 1] : std::string();
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return upper;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

bool IsServerOption(std::string_view param) {
    return AsciiUpper(param.substr(0, 8)) == "/SERVER:";
}

std::string ServerOptionName(std::string_view param) {
    return IsServerOption(param) ? std::string(param.substr(8)) : std::string();
}

bool IsSetOption(std::string_view param) {
    return AsciiUpper(param) == "/SET";
}

bool NoMessages(const TParams& params) {
    return AsciiUpper(Param(params, 2)) == "/NOMSG";
}

TKeyRequest KeyOption(const TParams& params) {
    if (params.size() != 1) return {};
    const std::string& p1 = params[0];
    const std::string lower = AsciiLower(p1);
    // The key text is whatever follows the option's 11 characters at the start of the parameter,
    // as it was typed.
    if (lower.find("/createkey:") != std::string::npos)
        return {TKeyOption::CreateKey, p1.size() > 11 ? p1.substr(11) : std::string()};
    if (lower.find("/clearkey") != std::string::npos) return {TKeyOption::ClearKey, {}};
    return {};
}

bool FilesFromPicker(const TParams& params) {
    return params.empty() || (params.size() == 1 && IsServerOption(params[0]));
}

void AddMatchingFiles(std::string_view pattern, std::vector<std::string>& list) {
    const std::string folder(FolderPart(pattern));
    for (const TSearchEntry& entry : FindEntries(pattern))
        if (!entry.Directory) list.push_back(folder + entry.Name);
}

void AddCommandLineFiles(const TParams& params, std::vector<std::string>& list) {
    for (std::size_t k = 1; k <= params.size(); ++k) {
        const std::string& p = params[k - 1];
        if (k == 1 && IsServerOption(p)) continue;
        if (k == 2 && NoMessages(params)) continue;
        const std::vector<TSearchEntry> found = FindEntries(p);
        // A folder named whole was handed over by the user: it goes on the list, where it fails
        // with its reason instead of vanishing.
        if (found.size() == 1 && found.front().Directory &&
            std::string(FolderPart(p)) + found.front().Name == p) {
            list.push_back(p);
            continue;
        }
        AddMatchingFiles(p, list);
    }
}

TParams ParamsFromArguments(const std::vector<std::string>& arguments) {
    TParams params(arguments);
    // A profile name and a key text are in the system code page, like the files that keep them;
    // a name without that form names no profile.
    if (params.size() >= 1 &&
        (IsServerOption(params[0]) || KeyOption(params).Option != TKeyOption::None))
        params[0] = Utf8ToSystem(params[0]).value_or(params[0]);
    return params;
}
