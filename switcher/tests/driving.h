// Test support for driving Corvil Switcher as a user would, shared by the
// core, Qt and Win32 suites.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "SwitcherApp0100.h"

namespace corvil::switcher::testing {

// Passes of Main's loop (events, then a poll) until `done`; generous for a
// busy machine.
inline bool runUntil(SwitcherApp0100 &app, const std::function<bool()> &done, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        app.pass();
        if (done()) return true;
    }
    return false;
}

// The row (1..9) whose option button is on in a column of the main window; -1 when none.
inline int optionOn(SwitcherApp0100 &app, int column) {
    int on = -1;
    for (int r = 1; r <= 9; ++r)
        if (app.mainForm().at("Option" + std::to_string(r), column).value()) on = r;
    return on;
}

} // namespace corvil::switcher::testing
