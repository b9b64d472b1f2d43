// corvil-soak: Corvil Switcher and two FathomLive plug-in objects at work on
// the same emulated units for minutes, while the units' front panels change
// (auto-sequencing running among them), now and then report an undefined
// input, go silent, and are pulled out and plugged in again, and the host
// closes and opens unit windows. Every so often the front panels rest and
// every user's polling catches up; then every display must show what its unit
// holds, and every change a user made must still be on the unit unless a
// later change replaced it. No writer may put back a change it could have
// seen: a replaced change fails the run at once.
//
//   corvil-soak [--seconds N] [--seed S] [--keep-going] [--verbose]
//
// The seed fixes the sequence of random choices; which of them meet which
// poll still depends on timing, so a failure repeats often, not always.
#include <algorithm>
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
        for (double nextSettle = between(6, 12); now() < activeUntil && (options_.keepGoing || !count("failures"));) {
            if (now() < nextSettle || now() > activeUntil - 3) {
                step(true);
            } else {
                settle();
                nextSettle = now() + between(6, 12);
            }
        }
        if (options_.keepGoing || count("failures") == 0) settle();
    } catch (const std::exception &e) {
        ++count("failures");
        std::printf("corvil-soak: FAILED at %.1f s (seed %llu): %s\n", now(), options_.seed, e.what());
        printTrail();
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
    // Each option, whether a value follows it, and what it sets.
    const struct { std::string name; bool valued; std::function<void(const char *)> set; } known[] = {
        {"--seconds", true, [&](const char *v) { options.seconds = std::stod(v); }},
        {"--seed", true, [&](const char *v) { options.seed = std::stoull(v); }},
        {"--keep-going", false, [&](const char *) { options.keepGoing = true; }},
        {"--verbose", false, [&](const char *) { options.verbose = true; }}};
    const auto usage = [](const std::string &why) {
        std::fprintf(stderr, "corvil-soak: %s\nusage: corvil-soak [--seconds N] [--seed S] [--keep-going] [--verbose]\n",
                     why.c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const auto option = std::find_if(std::begin(known), std::end(known), [&](auto &k) { return k.name == argv[i]; });
        if (option == std::end(known)) return usage("unknown option " + std::string(argv[i]));
        if (option->valued && ++i >= argc) return usage("missing value");
        try {
            option->set(argv[i]);
        } catch (const std::exception &) {
            return usage("not a number: " + std::string(argv[i]));
        }
    }
    std::printf("corvil-soak: seed %llu, %.0f s\n", options.seed, options.seconds);
    std::fflush(stdout);
    corvil::testing::usePrivateRendezvous();
    return World(options).run();
}
