#include "net/openssllib.h"

#include <openssl/opensslv.h>

#include <dlfcn.h>

#include <optional>

namespace {

#define WENDUP_TEXT(x) #x
#define WENDUP_SONAME(version) "libssl.so." WENDUP_TEXT(version)
// The library of the major version the headers belong to: its functions have these types.
constexpr const char* LibraryName = WENDUP_SONAME(OPENSSL_SHLIB_VERSION);

struct TLoaded {
    std::optional<TOpenSsl> functions;
    std::string error;
};

TLoaded Load() {
    TLoaded loaded;
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        loaded.error =
            std::string("cannot load ") + LibraryName + (why ? ": " + std::string(why) : "");
        return loaded;
    }
    TOpenSsl functions;
    // libcrypto's functions are found through libssl, which depends on it.
#define WENDUP_OPENSSL_LOAD(name)                                                                  \
    functions.name = reinterpret_cast<decltype(functions.name)>(dlsym(library, #name));            \
    if (!functions.name) {                                                                         \
        loaded.error = std::string(LibraryName) + " has no " #name;                                \
        return loaded;                                                                             \
    }
    WENDUP_OPENSSL_FUNCTIONS(WENDUP_OPENSSL_LOAD)
#undef WENDUP_OPENSSL_LOAD
    // Never closed: contexts and sessions made from it live until the program ends.
    loaded.functions = functions;
    return loaded;
}

} // namespace

const TOpenSsl* OpenSsl(std::string& error) {
    static const TLoaded loaded = Load();
    if (!loaded.functions) {
        error = loaded.error;
        return nullptr;
    }
    return &*loaded.functions;
}
