// A window toolkit without windows, through which tests and the soak drive
// the switcher as a user would: events are queued functions, timer ticks come
// when asked for, and a window's showing makes it the active window. Below
// it, what every switcher suite drives the program with.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "SwitcherApp0100.h"
#include "toolkit.h"

namespace corvil::switcher {

class HeadlessToolkit : public Toolkit, public form::FormObserver {
public:
    form::FormObserver *observer() override { return this; }
    void processPendingEvents() override {
        // Events that handlers post meanwhile are run in the same call.
        while (!events_.empty()) {
            auto event = std::move(events_.front());
            events_.pop_front();
            event();
        }
    }
    void waitForEvent() override { ++waits; }
    void messageBox(const std::string &text, const std::string &title) override {
        messages.push_back(title + ": " + text);
    }
    // Like a real box's own event loop, the stop message runs whatever
    // events are still pending while it is shown.
    void stopMessage(const std::string &text) override {
        stops.push_back(text);
        processPendingEvents();
    }

    // Queues a window event (a user's action, a timer tick).
    void post(std::function<void()> event) { events_.push_back(std::move(event)); }

    void controlChanged(form::Control &) override { ++controlChanges; }
    // A window that is shown becomes the active window once its showing is done.
    void formShown(form::Form &form) override { post([&form] { form.activated(); }); }
    void formHidden(form::Form &) override {}
    void formCreated(form::Form &) override {}
    void formDestroyed(form::Form &) override {}
    void focusChanged(form::Form &, form::Control *) override {}

    int waits = 0;
    // What a window toolkit would have had to redraw.
    int controlChanges = 0;
    std::vector<std::string> messages, stops;

private:
    std::deque<std::function<void()>> events_;
};

namespace testing {

// Passes of Main's loop (events, then a poll) until `done`, through any
// toolkit; generous for a busy machine.
inline bool runUntil(SwitcherApp0100 &app, const std::function<bool()> &done, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        app.pass();
        if (done()) return true;
    }
    return false;
}

} // namespace testing
} // namespace corvil::switcher
