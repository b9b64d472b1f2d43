// How old are the settings the plug-in reads, polling every 500 ms, when the
// unit reports every few milliseconds? Figures (not a test): the time from a
// front-panel change until a read shows it, reading the oldest queued report
// (as the exported operations do) and the newest (as the plug-in now does).
#include <chrono>
#include <cstdio>
#include <thread>

#include "emulator_process.h"
#include "library.h"
#include "virtual/virtual_platform.h"

using Clock = std::chrono::steady_clock;

int main() {
    corvil::testing::usePrivateRendezvous();
    for (int period : {5, 20, 100}) {
        corvil::testing::EmulatorProcess emulator({"--report-period-ms", std::to_string(period)});
        corvhid::VirtualPlatform oldestPlatform, newestPlatform;
        corvhid::Library oldest(oldestPlatform), newest(newestPlatform);
        std::int16_t a = -1, b = -1;
        if (oldest.findFirst(&a) != corvhid::kSuccess || newest.findFirst(&b) != corvhid::kSuccess) {
            std::printf("no emulated unit\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2)); // the queues fill as a host's would
        double seen[2] = {-1, -1};
        for (int round = 0; round < 2; ++round) {
            const std::string input = round ? "2" : "7";
            emulator.command("route 0 1 " + input);
            const auto t0 = Clock::now();
            seen[0] = seen[1] = -1;
            for (int poll = 0; poll < 40 && (seen[0] < 0 || seen[1] < 0); ++poll) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                std::uint8_t in1 = 0, in2, p1, p2;
                const double at = std::chrono::duration<double>(Clock::now() - t0).count();
                if (oldest.readSettings(a, &in1, &in2, &p1, &p2) == corvhid::kSuccess && in1 == std::stoi(input) &&
                    seen[0] < 0)
                    seen[0] = at;
                if (newest.readNewestSettings(b, &in1, &in2, &p1, &p2) == corvhid::kSuccess &&
                    in1 == std::stoi(input) && seen[1] < 0)
                    seen[1] = at;
            }
        }
        std::printf("report period %3d ms: change seen after %5.1f s reading the oldest report, %4.1f s reading the "
                    "newest\n",
                    period, seen[0], seen[1]);
        oldest.cleanup();
        newest.cleanup();
    }
    return 0;
}
