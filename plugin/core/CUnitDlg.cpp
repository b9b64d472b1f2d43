#include "CUnitDlg.h"

#include <cstdio>
#include <cstring>

#include "CCorvilPlugin.h"
#include "dialogs.h"

namespace corvil::plugin {

class CUnitDlg::Busy {
public:
    explicit Busy(CUnitDlg &dlg) : owner_(dlg.owner_), keep_(dlg.shared_from_this()) { ++keep_->busy_; }
    ~Busy() {
        // A window removed while this handler ran goes now, while its owner
        // (which the host may have released meanwhile) still stands.
        if (--keep_->busy_ == 0 && keep_->removed_ && keep_->view_) keep_->view_->destroy();
    }

private:
    CCorvilPlugin::CallGuard owner_; // released last
    std::shared_ptr<CUnitDlg> keep_;
};

CUnitDlg::~CUnitDlg() {
    if (view_ && view_->exists()) view_->destroy();
}

bool CUnitDlg::create(HostWindow parent) {
    WindowSystem *windows = owner_.services().windows;
    if (!windows) return false;
    // A place whose window went with its host window is given a new one:
    // nothing of the old view may serve the new window's initialisation.
    view_.reset();
    initialised_ = false;
    view_ = windows->createUnitWindow(parent, *this);
    initialising_ = nullptr;
    return view_ && view_->exists();
}

void CUnitDlg::store(const char *unitAddress, const char *unitName) {
    std::snprintf(address, sizeof address, "%s", unitAddress ? unitAddress : "");
    std::snprintf(name, sizeof name, "%s", unitName ? unitName : "");
}

void CUnitDlg::removed() {
    removed_ = true;
    if (busy_ == 0 && view_ && view_->exists()) view_->destroy();
}

bool CUnitDlg::contactLost() {
    closePending = true;
    char message[64];
    std::snprintf(message, sizeof message, "Contact was lost with unit %s.", name);
    if (IEqHost *host = owner_.host()) {
        std::int32_t result = 0;
        host->vtbl->ShowMessage(host, message, 0x30, &result);
    }
    owner_.cleanupDevice();
    owner_.EnumerateUnits();
    return false;
}

bool CUnitDlg::deviceRead() {
    Busy busy(*this);
    std::string serial;
    const int position = parseAddress(address, serial) ? owner_.findSerial(serial) : -1;
    if (position < 0) return contactLost();
    if (owner_.readUnitSettings(owner_.unitIndex(position), input1, input2, padMask1, padMask2)) return true;
    return contactLost();
}

bool CUnitDlg::deviceWrite(std::uint8_t sendInput1, std::uint8_t sendInput2) {
    Busy busy(*this);
    std::string serial;
    const int position = parseAddress(address, serial) ? owner_.findSerial(serial) : -1;
    if (position < 0) return contactLost();
    if (owner_.services().device.writeSettings(owner_.unitIndex(position), sendInput1, sendInput2, padMask1,
                                               padMask2) == corvhid::kSuccess)
        return true;
    return contactLost();
}

void CUnitDlg::controlUpdate() {
    if (removed_ || !view_ || !view_->exists()) return;
    const std::uint8_t inputs[2] = {input1, input2}, pads[2] = {padMask1, padMask2};
    const int radios[2] = {kRadioOutput1, kRadioOutput2}, lists[2] = {kLevelList1, kLevelList2};
    for (int o = 0; o < 2; ++o) {
        for (int k = 0; k <= 8; ++k) view_->setRadio(radios[o] + k, inputs[o] == k);
        if (inputs[o] != 0) {
            view_->enable(lists[o], true);
            view_->levelSelect(lists[o], records::padShown(inputs[o], pads[o]) ? 1 : 0);
        } else {
            view_->enable(lists[o], false);
            view_->levelSelect(lists[o], -1);
        }
    }
    view_->setTitle(name);
}

void CUnitDlg::controlChange(int id) {
    Busy busy(*this);
    if (removed_ || !view_) return;
    owner_.pollCountdown = 2500;
    const bool level = id == kLevelList1 || id == kLevelList2;
    const int output = id == kLevelList2 || (id >= kRadioOutput2 && id <= kRadioOutput2 + 8) ? 1 : 0;
    std::uint8_t &input = output == 0 ? input1 : input2;
    std::uint8_t &pads = output == 0 ? padMask1 : padMask2;
    const std::uint8_t shownInput = input;
    const bool line = level && view_->levelSelection(id) != 0; // no selection counts as "Line"
    // The window's settings may be seconds old, and the unit may have been
    // changed meanwhile (its front panel, another program, auto-sequencing):
    // the write carries the unit's present settings with only this control's
    // change, and 255 for an output whose input the user did not choose, so
    // nothing another writer did is put back.
    if (deviceRead()) {
        std::uint8_t send[2] = {records::kLeaveInput, records::kLeaveInput};
        if (!level) {
            input = static_cast<std::uint8_t>(id - (output == 0 ? kRadioOutput1 : kRadioOutput2));
            send[output] = input;
        } else if (records::isInput(shownInput)) {
            // The level the user chose is that of the input the window showed.
            pads = records::with(pads, shownInput, line);
        }
        deviceWrite(send[0], send[1]);
    }
    controlUpdate();
}

void CUnitDlg::onInit(UnitWindowView &view) {
    initialising_ = &view;
    view.hideScrollBars();
    scroller_.Attach(&view.scrolling());
    scroller_.SetScrollSizes(CDlgScroller::kPixelMapping, view.clientSize());
    initialised_ = true;
    const Rect outer = view.windowRect();
    designWidth_ = outer.width();
    designHeight_ = outer.height();
    const Rect &saved = owner_.savedRect;
    if (saved.height() > 0 && saved.width() > 0) {
        view.place(saved);
        scroller_.ScrollToPosition(owner_.savedScrollX, owner_.savedScrollY);
    } else if (WindowSystem *windows = owner_.services().windows) {
        const Rect work = windows->workArea();
        view.moveTo(work.right - outer.width(), work.bottom - outer.height());
    }
    for (int list : {kLevelList1, kLevelList2}) {
        view.levelClear(list);
        view.levelAdd(list, "Mic");
        view.levelAdd(list, "Line");
    }
    view.appendSystemMenu("Configure", "About TL Corvil");
}

void CUnitDlg::onEnter() {
    if (view_) view_->focusSelf();
}

void CUnitDlg::onEscape() {
    Busy busy(*this); // giving the focus away runs the host's handlers
    if (WindowSystem *windows = owner_.services().windows) windows->focus(hostWindow);
    closePending = true;
    if (view_) view_->hide();
}

void CUnitDlg::onRadioClick(int id) { controlChange(id); }
void CUnitDlg::onLevelChange(int id) { controlChange(id); }
void CUnitDlg::onDropDown(bool open) { owner_.dropdownOpen = open; }

void CUnitDlg::onMaximize() {
    if (view_) view_->resizeNotTopmost(designWidth_, designHeight_);
}

void CUnitDlg::onSystemCommand(int id) {
    Busy busy(*this);
    if (id == kConfigureCommand) {
        if (IEqHost *host = owner_.host()) host->vtbl->RequestConfigure(host, unitId);
        controlUpdate(); // not when the host closed this window meanwhile
    } else if (id == kAboutCommand) {
        if (Dialogs *dialogs = owner_.services().dialogs) {
            CAboutDlg about(dialogs->loadString(kVersionStringId));
            dialogs->runModal(kAboutTemplate, hostWindow, about);
        }
    }
}

void CUnitDlg::onSize() {
    UnitWindowView *view = initialising_ ? initialising_ : view_.get();
    if (!initialised_ || !view) return;
    scroller_.Attach(&view->scrolling());
    scroller_.UpdateBars();
}

void CUnitDlg::onScroll(bool vertical, int code, int position, bool fromScrollBarControl) {
    if (fromScrollBarControl) return;
    const std::uint32_t codes = vertical ? (0xFFu | (static_cast<std::uint32_t>(code & 0xFF) << 8))
                                         : (static_cast<std::uint32_t>(code & 0xFF) | 0xFF00u);
    scroller_.OnScroll(codes, position, true);
}

void CUnitDlg::onDestroy() {
    UnitWindowView *view = initialising_ ? initialising_ : view_.get();
    if (!view) return;
    owner_.savedRect = view->windowRect();
    const Size position = scroller_.GetScrollPosition();
    owner_.savedScrollX = position.cx;
    owner_.savedScrollY = position.cy;
}

} // namespace corvil::plugin
