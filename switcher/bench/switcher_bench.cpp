// Corvil Switcher's core figures over corvil-emulator (not a test): latencies
// a user notices, and the processor time the program takes while it waits.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "SwitcherApp0100.h"
#include "headless_toolkit.h"
#include "emulator_process.h"
#include "window_units.h"

using namespace corvil::switcher;
using Clock = std::chrono::steady_clock;

namespace {

// The headless toolkit with a real 100 ms timer, as a window toolkit has.
class TimedToolkit : public HeadlessToolkit {
public:
    std::function<void()> onTick;
    void processPendingEvents() override {
        if (Clock::now() >= nextTick_) {
            nextTick_ += std::chrono::milliseconds(100);
            if (onTick) post(onTick);
        }
        HeadlessToolkit::processPendingEvents();
    }
    void waitForEvent() override { std::this_thread::sleep_until(nextTick_); }

private:
    Clock::time_point nextTick_ = Clock::now() + std::chrono::milliseconds(100);
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One figure's repetitions, printed as their median and maximum.
struct Samples {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    void print(const char *what) {
        std::sort(values.begin(), values.end());
        std::printf("%-40s %9.2f ms %9.2f ms %6zu\n", what, values[values.size() / 2], values.back(), values.size());
    }
};

} // namespace

int main() {
    corvil::testing::usePrivateRendezvous();
    corvil::testing::EmulatorProcess emulator({"--serial", "BENCH"});
    TimedToolkit toolkit;
    Corvil_0100_Interface corvhid(CORVHID_LIBRARY_PATH);
    SwitcherApp0100 app(toolkit, corvhid);
    toolkit.onTick = [&] { app.mainForm().tick(); };
    auto &main = app.mainForm();
    auto runUntil = [&](const std::function<bool()> &done) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!done() && Clock::now() < deadline) app.pass();
        return done();
    };
    auto runFor = [&](double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) app.pass();
    };

    app.start();
    if (!runUntil([&] { return app.syncComplete && main.at("Label4").text().find("BENCH") != std::string::npos; })) {
        std::printf("the switcher did not connect to the emulated unit\n");
        return 1;
    }

    constexpr int kRounds = 20;
    Samples click, panel, unplug, replug;
    for (int i = 0; i < kRounds; ++i) {
        const int input = 1 + i % 8;
        const std::string count = "count=" + std::to_string(i + 1) + " ";
        auto t0 = Clock::now();
        toolkit.post([&] { main.at("Option" + std::to_string(input), 1).click(); });
        app.pass();
        while (emulator.command("outputs 0").find(count) == std::string::npos) {
        }
        click.add(ms(Clock::now() - t0));
        runFor(0.05); // let the hold-off pass

        const std::string shown = std::to_string(8 - i % 8);
        t0 = Clock::now();
        emulator.command("route 0 1 " + shown);
        runUntil([&] { return main.at("Text1", 0).text() == shown; });
        panel.add(ms(Clock::now() - t0));
    }
    for (int i = 0; i < kRounds; ++i) {
        auto t0 = Clock::now();
        emulator.command("unplug 0");
        runUntil([&] { return main.at("Text1", 0).text().empty(); });
        unplug.add(ms(Clock::now() - t0));
        t0 = Clock::now();
        emulator.command("plug 0");
        runUntil([&] { return app.syncComplete && main.at("Label4").text().find("BENCH") != std::string::npos; });
        replug.add(ms(Clock::now() - t0));
        runFor(0.3);
    }
    std::printf("%-40s %12s %12s %6s\n", "", "median", "maximum", "runs");
    click.print("click to output report at the unit");
    panel.print("front-panel change to display");
    unplug.print("unplug to empty displays");
    replug.print("replug to serial shown");

    auto load = [&](const char *what) {
        const double cpu0 = cpuSeconds();
        const auto w0 = Clock::now();
        runFor(3);
        std::printf("%-40s %9.2f %% of a core over 3 s\n", what,
                    100 * (cpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - w0).count());
    };
    load("processor time, connected and idle");
    emulator.command("unplug 0");
    runUntil([&] { return main.at("Text1", 0).text().empty(); });
    load("processor time, no unit attached");
    app.mainForm().unload();
    return 0;
}
