// What the switcher needs of a window toolkit beyond the form model: the
// event pump, the idle wait, the message box and the stop message.
#pragma once

#include <string>

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
    // Shows why the program stops; the program ends after it. The windows'
    // timers stop first, and the box belongs to the main window, which takes
    // no clicks while it is shown.
    virtual void stopMessage(const std::string &text) = 0;
};

} // namespace corvil::switcher
