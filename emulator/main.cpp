// corvil-emulator: virtual Corvil units for development and tests.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server.h"

using namespace corvil::emulator;

namespace {

const char kUsage[] =
    "usage: corvil-emulator [--serial XXXXX]... [--vendor-id N] [--product-id N] [--device-version N]\n"
    "                       [--report-period-ms N] [--input-length N] [--output-length N]\n"
    "       corvil-emulator --help | --version\n";

int usage(const std::string &why) {
    std::fprintf(stderr, "corvil-emulator: %s\n%s", why.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const std::string error = parseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) return usage(error);
    if (options.help) {
        std::fputs(kUsage, stdout);
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
