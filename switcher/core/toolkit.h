// What the switcher needs of a window toolkit beyond the form model: the
// event pump, the idle wait, the message box and the stop message.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "form.h"

namespace corvil::switcher {

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // Mirrors the forms; may be null.
    virtual form::FormObserver *observer() = 0;
    // Runs every pending window event (clicks, timer ticks, repaints) and returns.
    virtual void processPendingEvents() = 0;
    // Blocks until the next window event or timer tick is pending.
    virtual void waitForEvent() = 0;
    // A message box with text, title, error icon and OK button.
    virtual void messageBox(const std::string &text, const std::string &title) = 0;
    // Shows why the program stops; the program ends after it.
    virtual void stopMessage(const std::string &text) = 0;
};

// A toolkit without windows: events are queued functions, timer ticks come
// when asked for, and a window's showing makes it the active window. Tests
// drive the program through it as a user would.
class HeadlessToolkit : public Toolkit, public form::FormObserver {
public:
    form::FormObserver *observer() override { return this; }
    void processPendingEvents() override;
    void waitForEvent() override { ++waits; }
    void messageBox(const std::string &text, const std::string &title) override {
        messages.push_back(title + ": " + text);
    }
    void stopMessage(const std::string &text) override { stops.push_back(text); }

    // Queues a window event (a user's action, a timer tick).
    void post(std::function<void()> event) { events_.push_back(std::move(event)); }

    void controlChanged(form::Control &) override {}
    void formShown(form::Form &form) override;
    void formHidden(form::Form &) override {}
    void formCreated(form::Form &) override {}
    void formDestroyed(form::Form &) override {}
    void focusChanged(form::Form &, form::Control *) override {}

    int waits = 0;
    std::vector<std::string> messages, stops;

private:
    std::deque<std::function<void()>> events_;
};

} // namespace corvil::switcher
