#include "server.h"

#include <algorithm>
#include <cstdio>

namespace corvil::emulator {

int serve(Bench &bench, Endpoints &endpoints) {
    if (!endpoints.open()) return 1;
    const std::size_t count = bench.units.size();
    for (std::size_t u = 0; u < count; ++u) {
        bench.units[u]->onReport = [&endpoints, u](const UnitModel::Report &r) { endpoints.broadcast(u, r); };
        if (!endpoints.plug(u)) {
            for (std::size_t v = 0; v <= u; ++v) endpoints.unplug(v);
            return 1;
        }
    }
    bench.connectionCount = [&endpoints](std::size_t u) { return endpoints.connections(u); };
    bench.onPlug = [&endpoints](std::size_t u, bool plug) {
        if (plug)
            endpoints.plug(u);
        else
            endpoints.unplug(u);
    };
    std::printf("ready\n");
    std::fflush(stdout);

    bool quit = false;
    while (!quit && !endpoints.stopRequested()) {
        const std::int64_t now = nowMs();
        std::int64_t due = now + 1000;
        for (auto &unit : bench.units) {
            unit->advance(now);
            due = std::min(due, unit->nextDue());
        }
        std::vector<std::string> lines;
        bool ended = false;
        if (!endpoints.pass(static_cast<int>(std::clamp<std::int64_t>(due - nowMs(), 0, 1000)), lines, ended)) break;
        for (const std::string &line : lines) {
            if (quit) break;
            const std::string answer = bench.execute(line, nowMs(), quit);
            std::printf("%s\n", answer.c_str());
            std::fflush(stdout);
        }
        // End of input: the last line (without its newline) ran, then quit.
        if (ended) quit = true;
    }
    for (std::size_t u = 0; u < count; ++u) endpoints.unplug(u);
    // The units outlive the endpoints: they report to no one now.
    for (auto &unit : bench.units) unit->onReport = nullptr;
    bench.connectionCount = nullptr;
    bench.onPlug = nullptr;
    return 0;
}

} // namespace corvil::emulator
