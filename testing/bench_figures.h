// The benchmarks' figures: milliseconds from a duration, and a line of
// median, 95th percentile and maximum against the goal.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace corvil::testing {

inline double ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline void printFigures(const char *what, std::vector<double> v, const char *goal) {
    std::sort(v.begin(), v.end());
    std::printf("%-52s median %7.2f ms   p95 %7.2f ms   max %7.2f ms   (%zu runs; goal: %s)\n", what, v[v.size() / 2],
                v[v.size() * 95 / 100], v.back(), v.size(), goal);
}

} // namespace corvil::testing
