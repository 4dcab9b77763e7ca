#pragma once
// The store of every settings and profile file: an INI file held in memory as sections of raw lines
// and written back whole after each change, so every key written is on disk when the call returns.
// Sections and keys are found without regard to letter case; the first match wins. Names, keys and
// values are system-code-page (Shift_JIS) bytes.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The file could not be read or written. `Path` is the file name as given (system code page), for
// the message "ファイル %s を作成できません".
class EIniFileError : public std::runtime_error {
  public:
    EIniFileError(std::string path, int error);
    std::string Path;
    int ErrorCode;
};

// Whether two section names or keys are the same: letter case is ignored for single-byte
// characters only, since the second byte of a Shift_JIS character can look like an ASCII letter
// and two such characters must not compare equal.
bool SameIniName(std::string_view a, std::string_view b);

class TMyMemIniFile {
  public:
    // Loads the file when it exists (a missing file is an empty store). Lines end at CR, LF or CR
    // LF; blank lines, lines starting with ";" and lines before the first section are dropped.
    // Throws EIniFileError when the file exists but cannot be read.
    explicit TMyMemIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    // The value after the key's "=", untrimmed; `def` when the section or key is missing.
    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view def) const;
    // Decimal, or hexadecimal after 0x or 0X; `def` for anything else or a number out of range.
    int ReadInteger(std::string_view section, std::string_view ident, int def) const;
    // An integer that is not 0.
    bool ReadBool(std::string_view section, std::string_view ident, bool def) const;
    // The text before the first "=" of each line of the section, in order ("" for a line without
    // one).
    std::vector<std::string> ReadSection(std::string_view section) const;
    bool SectionExists(std::string_view section) const;

    // Each change rewrites the file, or throws EIniFileError (the store then holds the change but
    // the file is as it was). Line ends inside a name, key or value, an "=" in a key, or a key that
    // would read back as a comment or a section header are refused with std::invalid_argument. A
    // file the store creates has mode 0600; a file it rewrites keeps its mode.
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view ident, int value);
    void WriteBool(std::string_view section, std::string_view ident, bool value);
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view ident);

  private:
    struct Section {
        std::string name;
        std::vector<std::string> lines;
    };

    const Section* Find(std::string_view section) const;
    Section* Find(std::string_view section);
    void UpdateFile() const;

    std::string fileName_;
    std::vector<Section> sections_;
};
