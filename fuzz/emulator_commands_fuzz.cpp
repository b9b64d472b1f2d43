// The emulator's command lines, any bytes, run against two units one line
// at a time until "quit"; and parseNumber on its own.
#include <cstdint>
#include <memory>
#include <string>

#include "commands.h"
#include "unit_model.h"

using namespace corvil::emulator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);

    unsigned long value = 0;
    parseNumber(text.substr(0, text.find('\n')), value);

    Bench bench;
    for (const char *serial : {"EMU01", "EMU02"}) {
        UnitConfig config;
        config.serial = serial;
        bench.units.push_back(std::make_unique<UnitModel>(config, 0));
        bench.plugged.push_back(true);
    }
    bench.onPlug = [&](std::size_t unit, bool plug) {
        if (unit >= bench.units.size()) __builtin_trap();
        bench.plugged[unit] = plug;
    };
    bench.connectionCount = [&](std::size_t unit) -> std::size_t {
        if (unit >= bench.units.size()) __builtin_trap();
        return 2;
    };
    std::int64_t now = 0;
    bool quit = false;
    for (std::size_t at = 0; at <= text.size() && !quit;) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string answer = bench.execute(text.substr(at, end - at), now, quit);
        // One answer a line: "ok ..." or "error: ...", never a line break.
        if ((answer.rfind("ok", 0) != 0 && answer.rfind("error: ", 0) != 0) || answer.find('\n') != std::string::npos)
            __builtin_trap();
        now += 7;
        for (auto &unit : bench.units) unit->advance(now);
        at = end + 1;
    }
    return 0;
}
