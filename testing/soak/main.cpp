// corvil-soak: Corvil Switcher and two FathomLive plug-in objects at work on
// the same emulated units for minutes while the units' front panels change
// (see world.h). No writer may put back a change it could have seen: a
// replaced change fails the run at once; the other checks come at settles.
// The seed fixes the sequence of random choices; which of them meet which
// poll still depends on timing, so a failure repeats often, not always.
#include <cstdio>
#include <stdexcept>

#include "world.h"

namespace corvil::soak {
namespace {

// The summary line: each counter with the text before it. A user change is
// the switcher's or the plug-in's.
constexpr std::pair<const char *, const char *> kSummary[] = {
    {"", "front-panel changes"}, {" (", "auto-sequencing starts"}, {", ", "undefined inputs"},
    {"), ", "user changes"}, {" (", "switcher"}, {", ", "plug-in"}, {"), ", "silences"}, {", ", "unplugs"},
    {", ", "reconnections"}, {", ", "windows opened"}, {" (", "again before the pass"},
    {"), ", "contact-lost messages"}, {", ", "changes replaced"},
    {", ", "replaced by the switcher before it showed them"}, {", ", "settles"}, {", ", "checks"}, {", ", "failures"}};

} // namespace

World::World(const Options &options) : options_(options), rng_(options.seed) {
    for (const auto &[before, name] : kSummary) counts_[name] = 0;
}

World::~World() {
    for (auto &object : plugins_) object.reset();
    app_.mainForm().unload();
}

int World::run() {
    try {
        begin();
        // The last settle ends the run at about the time asked for.
        const double activeUntil = options_.seconds - kSettleSeconds;
        for (double nextSettle = between(6, 12); now() < activeUntil && (options_.keepGoing || !count("failures"));)
            if (now() < nextSettle || now() > activeUntil - 3) step(true);
            else settle(), nextSettle = now() + between(6, 12);
        if (options_.keepGoing || count("failures") == 0) settle();
    } catch (const std::exception &e) {
        expect("the run", "no error", e.what());
    }
    count("user changes") = count("switcher") + count("plug-in");
    std::printf("corvil-soak: ");
    for (const auto &[before, name] : kSummary) std::printf("%s%ld %s", before, count(name), name);
    std::printf(", seed %llu, %.0f s\n", options_.seed, now());
    std::fflush(stdout);
    return count("failures") ? 1 : 0;
}

} // namespace corvil::soak

int main(int argc, char **argv) {
    using namespace corvil::soak;
    Options options;
    options.seed = std::chrono::system_clock::now().time_since_epoch().count() % 1000000000;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : "";
        try {
            if (option == "--seconds") options.seconds = std::stod(value), ++i;
            else if (option == "--seed") options.seed = std::stoull(value), ++i;
            else if (option == "--keep-going") options.keepGoing = true;
            else if (option == "--verbose") options.verbose = true;
            else throw std::invalid_argument(option);
        } catch (const std::exception &) { // an unknown option, or no number after one
            std::fprintf(stderr, "corvil-soak: cannot take %s\n%s\n", option.c_str(),
                         "usage: corvil-soak [--seconds N] [--seed S] [--keep-going] [--verbose]");
            return 2;
        }
    }
    std::printf("corvil-soak: seed %llu, %.0f s\n", options.seed, options.seconds);
    std::fflush(stdout);
    corvil::testing::usePrivateRendezvous();
    return World(options).run();
}
