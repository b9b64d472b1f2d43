// The plug-in object's unit windows: the list of at most 16 places in the
// order opened, opening, updating and closing them for the host, and the
// poll passes that the host's Tick drives.
#include <algorithm>

#include "CCorvilPlugin.h"
#include "CUnitDlg.h"

namespace corvil::plugin {

namespace {
// Tick is not re-entered across all plug-in objects of the module. The flag
// is cleared however the pass ends, or polling would stop for good.
bool gTickBusy = false;
class TickBusy {
public:
    TickBusy() { gTickBusy = true; }
    ~TickBusy() { gTickBusy = false; }
};
} // namespace

std::shared_ptr<CUnitDlg> CCorvilPlugin::findWindow(std::int32_t unitId) const {
    for (const auto &w : windows_)
        if (w->unitId == unitId) return w;
    return nullptr;
}

void CCorvilPlugin::removeWindow(const std::shared_ptr<CUnitDlg> &window) {
    auto it = std::find(windows_.begin(), windows_.end(), window);
    if (it == windows_.end()) return;
    std::shared_ptr<CUnitDlg> keep = *it; // later windows move down one place
    windows_.erase(it);
    if (windows_.empty()) pollCountdown = 0;
    keep->removed();
}

EqResult CCorvilPlugin::OpenUnitWindow(HostWindow hostWindow, const char *address, const char *name,
                                       std::int32_t unitId) {
    CallGuard guard(*this);
    std::shared_ptr<CUnitDlg> w = findWindow(unitId);
    const bool taken = !w;
    if (taken) {
        if (openWindowCount() >= kMaxWindows) return kEqFailed;
        w = std::make_shared<CUnitDlg>(*this);
        w->unitId = unitId;
        windows_.push_back(w);
    }
    if (!w->hasWindow() && !w->create(hostWindow)) {
        // A place taken by this call whose window could not be made is given
        // back; a place that was in use keeps its unit.
        if (taken) removeWindow(w);
        return kEqFailed;
    }
    w->store(address, name);
    w->unitId = unitId;
    w->hostWindow = hostWindow;
    showFromUnit(*w);
    return kEqOk;
}

void CCorvilPlugin::showFromUnit(CUnitDlg &w) {
    // A window closed by Escape and opened again before the next pass stays:
    // the pass must not remove the window the host was just given.
    w.closePending = false;
    w.deviceRead();
    if (!w.isRemoved() && w.view()) {
        w.controlUpdate();
        w.view()->show();
        w.view()->repaintNow();
    }
    if (services_.windows) services_.windows->focus(w.hostWindow);
    pollCountdown = 500;
}

EqResult CCorvilPlugin::GetUnitWindowInfo(char *address, std::int16_t addressSize, char *name, std::int16_t nameSize,
                                          std::int32_t unitId) {
    CallGuard guard(*this);
    std::shared_ptr<CUnitDlg> w = findWindow(unitId);
    if (!w) return kEqFailed;
    copyText(w->address, address, addressSize);
    copyText(w->name, name, nameSize);
    return kEqOk;
}

EqResult CCorvilPlugin::UpdateUnitWindow(const char *address, const char *name, std::int32_t unitId) {
    CallGuard guard(*this);
    std::shared_ptr<CUnitDlg> w = findWindow(unitId);
    if (!w) return kEqFailed;
    std::string serial;
    if (!parseAddress(address, serial) || findSerial(serial) < 0) {
        removeWindow(w);
        return kEqOk;
    }
    w->store(address, name);
    if (w->hasWindow()) showFromUnit(*w);
    return kEqOk;
}

EqResult CCorvilPlugin::CloseUnitWindow(std::int32_t unitId) {
    CallGuard guard(*this);
    std::shared_ptr<CUnitDlg> w = findWindow(unitId);
    if (!w) return kEqFailed;
    removeWindow(w);
    return kEqOk;
}

EqResult CCorvilPlugin::Tick(std::int16_t elapsedMs) {
    if (gTickBusy) return kEqOk;
    TickBusy busy;
    CallGuard guard(*this);
    if (pollCountdown > 0) {
        pollCountdown -= elapsedMs;
        if (pollCountdown <= 0) pollPass();
    }
    return kEqOk;
}

void CCorvilPlugin::pollPass() {
    bool refreshed = false;
    for (std::size_t i = 0; i < windows_.size() && !releasedInCall_;) {
        std::shared_ptr<CUnitDlg> w = windows_[i];
        if (w->closePending) {
            w->closePending = false;
            removeWindow(w); // the window that moves into this place is next
            continue;
        }
        if (w->hasWindow() && !dropdownOpen) {
            w->deviceRead();
            w->controlUpdate();
            pollCountdown = 500;
            refreshed = true;
        }
        // The host may have closed windows while it showed a message.
        auto it = std::find(windows_.begin(), windows_.end(), w);
        i = it == windows_.end() ? i : static_cast<std::size_t>(it - windows_.begin()) + 1;
    }
    // A pass that could refresh nothing (a level list is dropped down) keeps
    // the polling going rather than stopping it for good.
    if (!refreshed && !windows_.empty()) pollCountdown = 500;
}

} // namespace corvil::plugin
