// The shared library's exports as the end-to-end suites call them, and a
// bound on how long a call may take.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "corvhid.h"

namespace corvil::testing {

inline std::string lastError() {
    char text[132] = {};
    GetCorvilErrStringA(text);
    return text;
}

struct Settings {
    unsigned char in1 = 0, in2 = 0, pads1 = 0, pads2 = 0;
};

inline short readSettings(short unit, Settings &s) {
    return ReadCorvilSettings(unit, &s.in1, &s.in2, &s.pads1, &s.pads2);
}

// Runs `f`, which is to take from `atLeast` to `atMost` ms: bounds that tell
// 50 ms from 5 or 500 ms on a busy machine.
template <typename F> ::testing::AssertionResult takes(long atLeast, long atMost, F &&f) {
    using namespace std::chrono;
    const auto start = steady_clock::now();
    f();
    const long took = static_cast<long>(duration_cast<milliseconds>(steady_clock::now() - start).count());
    if (took >= atLeast && took <= atMost) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "took " << took << " ms, not " << atLeast << " to " << atMost;
}

} // namespace corvil::testing
