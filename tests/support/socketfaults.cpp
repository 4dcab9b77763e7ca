#include "socketfaults.h"

#include <array>
#include <cerrno>
#include <map>

namespace {

class TTestSeam final : public TSocketSeam {
  public:
    ~TTestSeam() override { SetSocketSeam(nullptr); }
    bool Fail(TSocketCall call) override {
        Fault& f = faults[static_cast<std::size_t>(call)];
        if (f.count <= 0) return false;
        --f.count;
        errno = f.posixErrno;
        return true;
    }
    bool Answer(const std::string& name, std::vector<std::string>& addresses) override {
        const auto found = lookups.find(name);
        if (found == lookups.end()) return false;
        addresses = found->second;
        return true;
    }

    struct Fault {
        int posixErrno = 0;
        int count = 0;
    };
    std::array<Fault, 4> faults;
    std::map<std::string, std::vector<std::string>> lookups;
};

// Set on first use and left in place: with nothing asked of it, it passes every call through.
TTestSeam& Seam() {
    static TTestSeam seam;
    static const bool installed = (SetSocketSeam(&seam), true);
    (void)installed;
    return seam;
}

} // namespace

void FailNextSocketCalls(TSocketCall call, int posixErrno, int count) {
    Seam().faults[static_cast<std::size_t>(call)] = {posixErrno, count};
}

void AnswerLookups(const std::string& name, std::vector<std::string> addresses) {
    if (addresses.empty())
        Seam().lookups.erase(name);
    else
        Seam().lookups[name] = std::move(addresses);
}

void ClearSocketFaults() {
    Seam().faults = {};
    Seam().lookups.clear();
}
