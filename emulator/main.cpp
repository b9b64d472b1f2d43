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
    std::vector<std::string> serials;
    UnitConfig shared;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        // "--version N" set the units' version number before there was a
        // program version to print; with a number it still does.
        unsigned long ignored = 0;
        if (option == "--version" && (i + 1 >= argc || !parseNumber(argv[i + 1], ignored))) {
            std::printf("corvil-emulator %s\n", CORVIL_VERSION);
            return 0;
        }
        if (i + 1 >= argc) return usage(option + " needs a value");
        const std::string value = argv[++i];
        unsigned long n = 0;
        if (option == "--serial") {
            if (value.size() != 5) return usage("a serial number has five characters, not \"" + value + "\"");
            serials.push_back(value);
            continue;
        }
        if (!parseNumber(value, n)) return usage(option + " takes a number, not \"" + value + "\"");
        if (option == "--vendor-id" || option == "--product-id" || option == "--device-version" ||
            option == "--version") {
            if (n > 0xFFFF) return usage(option + " must be 0 to 65535");
            auto v = static_cast<std::uint16_t>(n);
            (option == "--vendor-id" ? shared.vendorId : option == "--product-id" ? shared.productId
                                                                                    : shared.versionNumber) = v;
        } else if (option == "--report-period-ms") {
            if (n < 1 || n > 60000) return usage("--report-period-ms must be 1 to 60000");
            shared.reportPeriodMs = static_cast<int>(n);
        } else if (option == "--input-length" || option == "--output-length") {
            if (n < 5 || n > corvhid::wire::kMaxReportLength)
                return usage(option + " must be 5 to " + std::to_string(corvhid::wire::kMaxReportLength));
            (option == "--input-length" ? shared.inputLength : shared.outputLength) = static_cast<std::uint16_t>(n);
        } else {
            return usage("unknown option " + option);
        }
    }
    if (serials.empty()) serials.push_back("EMU01");

    Bench bench;
    const std::int64_t now = nowMs();
    for (const std::string &serial : serials) {
        UnitConfig config = shared;
        config.serial = serial;
        bench.units.push_back(std::make_unique<UnitModel>(config, now));
        bench.plugged.push_back(true);
    }
    return serve(bench);
}
