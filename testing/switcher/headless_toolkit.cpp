#include "headless_toolkit.h"

namespace corvil::switcher {

void HeadlessToolkit::processPendingEvents() {
    // Events that handlers post meanwhile are run in the same call.
    while (!events_.empty()) {
        auto event = std::move(events_.front());
        events_.pop_front();
        event();
    }
}

void HeadlessToolkit::stopMessage(const std::string &text) {
    stops.push_back(text);
    processPendingEvents();
}

void HeadlessToolkit::formShown(form::Form &form) {
    // A window that is shown becomes the active window once its showing is done.
    post([&form] { form.activated(); });
}

} // namespace corvil::switcher
