// corvhid figures (not a test): discovery over many fake interfaces, and
// transfer latencies over the virtual transport against corvil-emulator.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "emulator_process.h"
#include "fake_platform.h"
#include "library.h"
#include "virtual/virtual_platform.h"

using namespace corvhid;
using Clock = std::chrono::steady_clock;

namespace {

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Figures {
    std::vector<double> samples;
    void add(double us) { samples.push_back(us); }
    double at(double q) {
        std::sort(samples.begin(), samples.end());
        return samples[static_cast<std::size_t>(q * (samples.size() - 1))];
    }
    void print(const char *what) {
        std::printf("%-52s median %9.1f us   p95 %9.1f us   (%zu runs)\n", what, at(0.5), at(0.95), samples.size());
    }
};

void benchDiscovery(int interfaces) {
    Figures f;
    for (int run = 0; run < 50; ++run) {
        FakePlatform fake;
        for (int i = 0; i < interfaces; ++i) fake.add("/fake/" + std::to_string(i));
        Library lib(fake);
        std::int16_t unit;
        auto t0 = Clock::now();
        for (Result r = lib.findFirst(&unit); r; r = lib.findNext(&unit)) {
        }
        lib.doneFinding();
        f.add(micros(Clock::now() - t0));
        lib.cleanup();
    }
    char what[80];
    std::snprintf(what, sizeof what, "discovery of %d units (fake platform)", interfaces);
    f.print(what);
}

void benchTransport() {
    corvil::testing::usePrivateRendezvous();
    // Reports only on change, so that each read meets the report it waits for.
    corvil::testing::EmulatorProcess emulator({"--report-period-ms", "60000"});
    if (!emulator.running()) {
        std::printf("corvil-emulator did not start\n");
        return;
    }
    VirtualPlatform platform;
    Library lib(platform);
    std::int16_t unit = -1;
    if (lib.findFirst(&unit) != kSuccess) {
        char text[kErrorTextSize];
        lib.getErrorText(text);
        std::printf("no emulated unit found: %s\n", text);
        return;
    }
    lib.doneFinding();
    Figures write, applied, serial;
    for (int run = 0; run < 200; ++run) {
        const std::uint8_t input = static_cast<std::uint8_t>(1 + run % 8);
        auto t0 = Clock::now();
        lib.writeSettings(unit, input, 255, 0, 0);
        auto t1 = Clock::now();
        std::uint8_t in1 = 0, in2, p1, p2;
        while (lib.readSettings(unit, &in1, &in2, &p1, &p2) == kSuccess && in1 != input) {
        }
        auto t2 = Clock::now();
        write.add(micros(t1 - t0));
        applied.add(micros(t2 - t0));
        char s[6];
        auto t3 = Clock::now();
        lib.readSerialNumber(unit, s);
        serial.add(micros(Clock::now() - t3));
    }
    write.print("write call (virtual transport)");
    applied.print("write to applied and read back (virtual transport)");
    serial.print("serial-number feature get (virtual transport)");
    lib.cleanup();
}

} // namespace

int main() {
    for (int n : {1, 64, 255}) benchDiscovery(n);
    benchTransport();
    return 0;
}
