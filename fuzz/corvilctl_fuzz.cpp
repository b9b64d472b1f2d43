// corvilctl's arguments: the fuzz data split at NUL bytes into argv, run
// through the program's own entry point. No unit can be reached (a private,
// empty rendezvous and sysfs), so each command stops with "no unit" once
// its arguments are accepted: what is fuzzed is the parsing, and that every
// refusal is an answer, not a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

int corvilctl_main(int argc, char **argv);

namespace {
std::string gRoot;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/corvil-fuzz-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    gRoot = pattern;
    std::filesystem::create_directories(gRoot + "/sys/class/hidraw");
    std::filesystem::create_directories(gRoot + "/dev");
    // Emulators of other programs on this machine stay out of reach.
    ::setenv("XDG_RUNTIME_DIR", gRoot.c_str(), 1);
    ::setenv("CORVILCTL_SYSFS_ROOT", (gRoot + "/sys").c_str(), 1);
    ::setenv("CORVILCTL_DEV_ROOT", (gRoot + "/dev").c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(gRoot); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> words{"corvilctl"};
    words.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) words.emplace_back();
        else words.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int code = corvilctl_main(static_cast<int>(words.size()), argv.data());
    if (code < 0 || code > 3) __builtin_trap(); // 0 success, 1 the unit, 2 the arguments, 3 no unit
    return 0;
}
