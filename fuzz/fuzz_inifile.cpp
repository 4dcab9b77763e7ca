// The INI loader on arbitrary files. Input: a section name, 0x01, a key, 0x00, then the file.
// Checks that loading never fails, that the written image reads back the same values, and that
// writing is stable: loading what was written and writing again gives the same bytes.
#include "app/myinifile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

std::string folder;

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_inifile: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every write is flushed to disk; memory-backed storage keeps the runs fast.
    char shm[] = "/dev/shm/fuzz_inifile.XXXXXX";
    char tmp[] = "/tmp/fuzz_inifile.XXXXXX";
    char* pattern = mkdtemp(shm);
    if (!pattern) pattern = mkdtemp(tmp);
    if (!pattern) std::abort();
    folder = pattern;
    std::atexit([] {
        unlink((folder + "/test.ini").c_str());
        unlink((folder + "/copy.ini").c_str());
        rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string head = nul == std::string::npos ? std::string() : input.substr(0, nul);
    const std::string text = nul == std::string::npos ? input : input.substr(nul + 1);
    const std::size_t sep = head.find('\x01');
    const std::string section = head.substr(0, sep);
    const std::string key = sep == std::string::npos ? "k" : head.substr(sep + 1);

    const std::string path = folder + "/test.ini";
    const std::string copy = folder + "/copy.ini";
    WriteFile(path, text);
    TMyMemIniFile ini(path);
    const std::vector<std::string> keys = ini.ReadSection(section);
    std::vector<std::string> values;
    for (const std::string& k : keys)
        values.push_back(ini.ReadString(section, k, "\x01missing"));
    (void)ini.ReadInteger(section, key, 0);

    try {
        ini.WriteString(section, key, "value");
    } catch (const std::invalid_argument&) {
        ini.WriteString("Fuzz", "k", "value");
    }
    const std::string first = ReadFile(path);

    WriteFile(copy, first);
    TMyMemIniFile again(copy);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        // A key rewritten above now reads "value"; every other one keeps what it had.
        const std::string now = again.ReadString(section, keys[i], "\x01missing");
        Check(now == values[i] || now == "value", "value changed by a write-back");
    }
    again.WriteString("Fuzz", "k", "value");
    TMyMemIniFile third(copy);
    third.WriteString("Fuzz", "k", "value");
    const std::string second = ReadFile(copy);
    third.WriteString("Fuzz", "k", "value");
    Check(ReadFile(copy) == second, "write-back not stable");
    Check(third.ReadString("Fuzz", "k", "") == "value", "written value not found");
    return 0;
}
