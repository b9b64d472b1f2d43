// Figures, not a test: Corvil.dll under a host's timing, against emulated
// units under Wine. The host-thread time of one Tick poll pass with 16 unit
// windows open, and the time from a change on a unit's front panel to its
// unit window showing it while the host ticks every 50 ms.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "emulator_process.h"
#include "eq_abi.h"
#include "fake_host.h"
#include "windows_of_this_thread.h"

using namespace corvil::plugin;
using Clock = std::chrono::steady_clock;

namespace {

using corvil::testing::ms;
constexpr auto print = corvil::testing::printFigures;

} // namespace

int main() {
    const std::string bin = CORVIL_BIN_DIR;
    char path[8192] = {};
    ::GetEnvironmentVariableA("PATH", path, sizeof path);
    ::SetEnvironmentVariableA("PATH", (bin + ";" + path).c_str());
    corvil::testing::usePrivateRendezvous();
    if (corvil::testing::runProgram("regsvr32", {"/s", bin + "\\Corvil.dll"}).exitCode != 0) {
        std::fprintf(stderr, "cannot register Corvil.dll\n");
        return 1;
    }
    corvil::testing::EmulatorProcess emulator;
    if (!emulator.start(corvil::testing::sixteenUnits())) {
        std::fprintf(stderr, "corvil-emulator did not start\n");
        return 1;
    }
    ::CoInitialize(nullptr);
    HWND hostWindow = ::CreateWindowExA(0, "STATIC", "FathomLive", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                        nullptr, nullptr, nullptr, nullptr);
    corvil::plugin::fakes::FakeHost host;
    IEqDevice *device = nullptr;
    if (::CoCreateInstance(reinterpret_cast<const GUID &>(kCLSID_CorvilPlugin), nullptr, CLSCTX_INPROC_SERVER,
                           reinterpret_cast<const GUID &>(kIID_IEqDevice), reinterpret_cast<void **>(&device)) != S_OK) {
        std::fprintf(stderr, "cannot create the plug-in object\n");
        return 1;
    }
    device->vtbl->SetHost(device, &host.iface);
    for (int u = 1; u <= 16; ++u) {
        char address[16], name[8];
        std::snprintf(address, sizeof address, "SERIAL EMU%02d", u);
        std::snprintf(name, sizeof name, "U%02d", u);
        device->vtbl->OpenUnitWindow(device, hostWindow, address, name, u);
    }

    // Passes 500 ms apart, as the host's ticks make them: what a pass reads
    // is what the units sent meanwhile.
    std::vector<double> passes;
    for (int i = 0; i < 120; ++i) {
        pump(500);
        const auto start = Clock::now();
        device->vtbl->Tick(device, 500);
        passes.push_back(ms(Clock::now() - start));
    }
    for (int u = 2; u <= 16; ++u) device->vtbl->CloseUnitWindow(device, u);

    // The host ticks every 50 ms with the time really elapsed; the front
    // panel changes at a random moment of the poll cycle.
    HWND window = threadWindows("U01").at(0);
    std::mt19937 random(7);
    std::vector<double> shown;
    auto last = Clock::now();
    auto tickAsTheHostDoes = [&] {
        const auto now = Clock::now();
        if (now - last >= std::chrono::milliseconds(50)) {
            device->vtbl->Tick(device, static_cast<std::int16_t>(ms(now - last)));
            last = now;
        }
        pump(0);
    };
    for (int i = 0; i < 24; ++i) {
        const auto idle = Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 500)(random));
        while (Clock::now() < idle) {
            tickAsTheHostDoes();
            ::Sleep(2);
        }
        const int input = 1 + i % 8;
        emulator.command("route 0 1 " + std::to_string(input));
        const auto changed = Clock::now();
        while (::IsDlgButtonChecked(window, 1311 + input) != BST_CHECKED && Clock::now() - changed < std::chrono::seconds(3)) {
            tickAsTheHostDoes();
            ::Sleep(2);
        }
        shown.push_back(ms(Clock::now() - changed));
    }

    const char *period = std::getenv("BENCH_REPORT_PERIOD_MS");
    std::printf("Corvil.dll under Wine, emulated units reporting every %s ms\n", period ? period : "20");
    print("Tick poll pass with 16 unit windows (host thread)", passes, "no pass over 16 ms");
    print("front-panel change to the unit window showing it", shown, "at most 550 ms");
    device->vtbl->Release(device);
    ::DestroyWindow(hostWindow);
    corvil::testing::runProgram("regsvr32", {"/u", "/s", bin + "\\Corvil.dll"});
    return 0;
}
