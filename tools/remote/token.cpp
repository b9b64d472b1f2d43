#include "token.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#include <ntsecapi.h> // RtlGenRandom, from advapi32.dll, which every Windows has
#else
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvil::remote {

namespace fs = std::filesystem;

std::string defaultTokenPath() {
#if defined(_WIN32)
    const char *appData = std::getenv("APPDATA");
    return appData && *appData ? (fs::path(appData) / "Tolvane" / "Corvil" / "remote-token").string() : "";
#else
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return (fs::path(config) / "corvil" / "remote-token").string();
    const char *home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".config" / "corvil" / "remote-token").string() : "";
#endif
}

std::string newToken() {
    unsigned char bytes[32];
#if defined(_WIN32)
    if (!RtlGenRandom(bytes, sizeof bytes))
        throw std::runtime_error("the system's random source failed");
#else
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw std::runtime_error("the system's random source failed");
#endif
    std::string hex;
    for (unsigned char b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

std::string loadOrCreateToken(const std::string &path) {
    if (path.empty()) throw std::runtime_error("no configuration folder (HOME is not set): give --token-file");
    std::ifstream in(path);
    if (in) {
        std::string token;
        std::getline(in, token);
        while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
        if (token.size() < 16 || token.find_first_of(" \t") != std::string::npos)
            throw std::runtime_error(path + " does not hold a token (16 or more characters, no blanks)");
        return token;
    }
    const std::string token = newToken();
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
#if defined(_WIN32)
    // The user's own profile folder is theirs alone.
    std::ofstream out(path, std::ios::binary);
    out << token << '\n';
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
#else
    // Readable by the user alone from its first byte.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string line = token + "\n";
    if (fd < 0 || ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot write " + path);
    }
    ::close(fd);
#endif
    return token;
}

} // namespace corvil::remote
