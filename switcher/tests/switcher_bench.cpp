// Corvil Switcher's core figures over corvil-emulator (not a test): latencies
// a user notices, and the processor time the program takes while it waits.
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include <sys/resource.h>

#include "SwitcherApp0100.h"
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

    double clickTotal = 0, panelTotal = 0;
    const int rounds = 20;
    for (int i = 0; i < rounds; ++i) {
        const int input = 1 + i % 8;
        const std::string count = "count=" + std::to_string(i + 1) + " ";
        auto t0 = Clock::now();
        toolkit.post([&] { main.at("Option" + std::to_string(input), 1).click(); });
        app.pass();
        while (emulator.command("outputs 0").find(count) == std::string::npos) {
        }
        clickTotal += ms(Clock::now() - t0);
        runFor(0.05); // let the hold-off pass

        const std::string shown = std::to_string(8 - i % 8);
        t0 = Clock::now();
        emulator.command("route 0 1 " + shown);
        runUntil([&] { return main.at("Text1", 0).text() == shown; });
        panelTotal += ms(Clock::now() - t0);
    }
    std::printf("click to output report at the unit            %8.2f ms (mean of %d)\n", clickTotal / rounds, rounds);
    std::printf("front-panel change to display                 %8.2f ms (mean of %d)\n", panelTotal / rounds, rounds);

    double cpu0 = cpuSeconds();
    auto w0 = Clock::now();
    runFor(3);
    std::printf("processor time while connected and idle       %8.2f %% of a core\n",
                100 * (cpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - w0).count());

    auto t0 = Clock::now();
    emulator.command("unplug 0");
    runUntil([&] { return main.at("Text1", 0).text().empty(); });
    std::printf("unplug to empty displays                      %8.1f ms\n", ms(Clock::now() - t0));

    cpu0 = cpuSeconds();
    w0 = Clock::now();
    runFor(3);
    std::printf("processor time while no unit is attached      %8.2f %% of a core\n",
                100 * (cpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - w0).count());

    t0 = Clock::now();
    emulator.command("plug 0");
    runUntil([&] { return main.at("Label4").text().find("BENCH") != std::string::npos; });
    std::printf("replug to serial shown                        %8.1f ms\n", ms(Clock::now() - t0));
    app.mainForm().unload();
    return 0;
}
