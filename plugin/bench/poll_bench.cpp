// Figures, not a test: the plug-in's core under a host's timing, against 16
// emulated units over the virtual transport, as the benchmark of Corvil.dll
// measures it under Wine, but with unit windows kept in memory. The
// host-thread time of one Tick poll pass with 16 unit windows open, and the
// time from a change on a unit's front panel to its unit window showing it
// while the host ticks every 50 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_figures.h"
#include "emulator_process.h"
#include "fakes.h"
#include "virtual/virtual_platform.h"

using Clock = std::chrono::steady_clock;
using namespace corvil::plugin;

namespace {

using corvil::testing::ms;
constexpr auto print = corvil::testing::printFigures;

} // namespace

int main() {
    corvil::testing::usePrivateRendezvous();
    corvil::testing::EmulatorProcess emulator;
    if (!emulator.start(corvil::testing::sixteenUnits())) {
        std::fprintf(stderr, "corvil-emulator did not start\n");
        return 1;
    }
    corvhid::VirtualPlatform platform;
    fakes::Surroundings world(platform);
    CCorvilPlugin plugin(world.services);
    plugin.SetHost(&world.host.iface);
    const HostWindow hostWindow = reinterpret_cast<HostWindow>(0x50ac);
    for (int u = 1; u <= 16; ++u) {
        char address[16], name[8];
        std::snprintf(address, sizeof address, "SERIAL EMU%02d", u);
        std::snprintf(name, sizeof name, "U%02d", u);
        if (plugin.OpenUnitWindow(hostWindow, address, name, u) != kEqOk) {
            std::fprintf(stderr, "unit window %s did not open\n", name);
            return 1;
        }
    }

    // Passes 500 ms apart, as the host's ticks make them: what a pass reads
    // is what the units sent meanwhile.
    std::vector<double> passes;
    for (int i = 0; i < 120; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto start = Clock::now();
        plugin.Tick(500);
        passes.push_back(ms(Clock::now() - start));
    }
    for (int u = 2; u <= 16; ++u) plugin.CloseUnitWindow(u);

    // The host ticks every 50 ms with the time really elapsed; the front
    // panel changes at a random moment of the poll cycle.
    auto &window = *world.windows.live.at(0);
    std::mt19937 random(7);
    std::vector<double> shown;
    auto last = Clock::now();
    auto tickAsTheHostDoes = [&] {
        const auto now = Clock::now();
        if (now - last >= std::chrono::milliseconds(50)) {
            plugin.Tick(static_cast<std::int16_t>(ms(now - last)));
            last = now;
        }
    };
    for (int i = 0; i < 24; ++i) {
        const auto idle = Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 500)(random));
        while (Clock::now() < idle) {
            tickAsTheHostDoes();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const int input = 1 + i % 8;
        emulator.command("route 0 1 " + std::to_string(input));
        const auto changed = Clock::now();
        while (!window.radio(kRadioOutput1 + input) && Clock::now() - changed < std::chrono::seconds(3)) {
            tickAsTheHostDoes();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        shown.push_back(ms(Clock::now() - changed));
    }

    const char *period = std::getenv("BENCH_REPORT_PERIOD_MS");
    std::printf("The plug-in's core (windows without a window system), emulated units reporting every %s ms\n",
                period ? period : "20");
    print("Tick poll pass with 16 unit windows (host thread)", passes, "no pass over 16 ms");
    print("front-panel change to the unit window showing it", shown, "at most 550 ms");
    return 0;
}
