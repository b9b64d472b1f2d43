// The benchmarks' common parts: corvil-emulator's arguments for sixteen units,
// milliseconds from a duration, and a line of median, 95th percentile and
// maximum against the goal.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvil::testing {

// Sixteen units EMU01..EMU16, reporting every BENCH_REPORT_PERIOD_MS when set.
inline std::vector<std::string> sixteenUnits() {
    std::vector<std::string> args;
    if (const char *period = std::getenv("BENCH_REPORT_PERIOD_MS")) args = {"--report-period-ms", period};
    for (int u = 1; u <= 16; ++u) {
        char serial[8];
        std::snprintf(serial, sizeof serial, "EMU%02d", u);
        args.insert(args.end(), {"--serial", serial});
    }
    return args;
}

inline double ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline void printFigures(const char *what, std::vector<double> v, const char *goal) {
    std::sort(v.begin(), v.end());
    std::printf("%-52s median %7.2f ms   p95 %7.2f ms   max %7.2f ms   (%zu runs; goal: %s)\n", what, v[v.size() / 2],
                v[v.size() * 95 / 100], v.back(), v.size(), goal);
}

} // namespace corvil::testing
