// corvil-emulator: virtual Corvil units for development and tests.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "server.h"

using namespace corvil::emulator;

namespace {

const char kUsage[] =
    "Usage: corvil-emulator [--serial XXXXX]... [--vendor-id N] [--product-id N] [--device-version N]\n"
    "                       [--report-period-ms N] [--input-length N] [--output-length N]\n"
    "       corvil-emulator --help | --version\n"
    "Serves virtual Corvil units (one per --serial, default EMU01) until quit. It prints \"ready\", then\n"
    "takes one command a line on standard input and answers each with one line, \"ok ...\" or\n"
    "\"error: reason\". U is a unit's position in --serial order from 0, O an output (1, 2), I an input.\n"
    "Commands:\n";

int usage(const std::string &why) {
    std::fprintf(stderr, "corvil-emulator: %s\nTry 'corvil-emulator --help' for more information.\n", why.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const std::string error = parseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) return usage(error);
    if (options.help) {
        std::fputs(kUsage, stdout);
        std::fputs(commandList().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("corvil-emulator %s\n", CORVIL_VERSION);
        return 0;
    }

    Bench bench;
    const std::int64_t now = nowMs();
    for (const std::string &serial : options.serials) {
        UnitConfig config = options.shared;
        config.serial = serial;
        bench.units.push_back(std::make_unique<UnitModel>(config, now));
        bench.plugged.push_back(true);
    }
    return serve(bench);
}
