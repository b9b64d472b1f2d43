// The unit windows: small modeless windows (template 353) that switch a
// unit's inputs and levels by hand and follow the unit, as logic over a
// window seam. Each window is held through a shared pointer, so that one
// removed while its own handler runs (the host re-enters the plug-in while
// it shows a message or handles "Configure") is destroyed only once that
// handler has returned, and never touched after its removal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CConfig.h"
#include "CDlgScroller.h"
#include "eq_abi.h"

namespace corvil::plugin {

class CCorvilPlugin;

inline constexpr int kUnitWindowTemplate = 353;
inline constexpr int kRadioOutput1 = 1311; // + k for input k, 0 for none
inline constexpr int kRadioOutput2 = 1321;
inline constexpr int kLevelList1 = 1331;
inline constexpr int kLevelList2 = 1332;
inline constexpr int kAboutCommand = 1374;
inline constexpr int kConfigureCommand = 1375;

// One unit window on the platform, by control id.
class UnitWindowView {
public:
    virtual ~UnitWindowView() = default;
    virtual bool exists() = 0;
    virtual void destroy() = 0; // reports onDestroy first
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void repaintNow() = 0;
    virtual void setTitle(const std::string &title) = 0;
    virtual void setRadio(int id, bool on) = 0;
    virtual bool radio(int id) = 0;
    virtual void levelClear(int id) = 0;
    virtual void levelAdd(int id, const std::string &entry) = 0;
    virtual void levelSelect(int id, int index) = 0; // -1: no selection
    virtual int levelSelection(int id) = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual Rect windowRect() = 0; // outer rectangle, screen coordinates
    virtual void place(const Rect &rect) = 0;
    virtual void moveTo(std::int32_t left, std::int32_t top) = 0;
    virtual void resizeNotTopmost(std::int32_t width, std::int32_t height) = 0;
    virtual Size clientSize() = 0;
    virtual void hideScrollBars() = 0;
    virtual void appendSystemMenu(const std::string &configure, const std::string &about) = 0;
    virtual void focusSelf() = 0;
    virtual ScrollWindow &scrolling() = 0;
};

// What a unit window reports to its logic.
class UnitWindowEvents {
public:
    virtual ~UnitWindowEvents() = default;
    virtual void onInit(UnitWindowView &view) = 0;
    virtual void onEnter() = 0;
    virtual void onEscape() = 0;
    virtual void onRadioClick(int id) = 0;
    virtual void onLevelChange(int id) = 0;
    virtual void onDropDown(bool open) = 0;
    virtual void onMaximize() = 0;
    virtual void onSystemCommand(int id) = 0; // Configure or About
    virtual void onSize() = 0;
    virtual void onScroll(bool vertical, int code, int position, bool fromScrollBarControl) = 0;
    virtual void onDestroy() = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Creates a unit window from template 353, owned by `parent`; its
    // initialisation runs inside. Null when it cannot be created.
    virtual std::unique_ptr<UnitWindowView> createUnitWindow(HostWindow parent, UnitWindowEvents &events) = 0;
    virtual void focus(HostWindow window) = 0;
    virtual Rect workArea() = 0;
};

class CUnitDlg : public UnitWindowEvents, public std::enable_shared_from_this<CUnitDlg> {
public:
    explicit CUnitDlg(CCorvilPlugin &owner) : owner_(owner) {}
    ~CUnitDlg() override;

    // Stored state.
    std::int32_t unitId = 0;
    HostWindow hostWindow = nullptr;
    char address[1024] = {};
    char name[20] = {};
    std::uint8_t input1 = 0, input2 = 0, padMask1 = 0, padMask2 = 0;
    bool closePending = false;

    bool hasWindow() const { return view_ && view_->exists(); }
    UnitWindowView *view() const { return view_.get(); }
    bool create(HostWindow parent);
    void store(const char *unitAddress, const char *unitName);
    bool deviceRead();
    // Writes the stored pad masks with these inputs (255 leaves an output's
    // input as the unit has it).
    bool deviceWrite(std::uint8_t sendInput1, std::uint8_t sendInput2);
    void controlUpdate();
    // Removal from the owner's list: the window goes now, or when the
    // handler running on it returns.
    void removed();
    bool isRemoved() const { return removed_; }
    Size designSize() const { return {designWidth_, designHeight_}; }

    void onInit(UnitWindowView &view) override;
    void onEnter() override;
    void onEscape() override;
    void onRadioClick(int id) override;
    void onLevelChange(int id) override;
    void onDropDown(bool open) override;
    void onMaximize() override;
    void onSystemCommand(int id) override;
    void onSize() override;
    void onScroll(bool vertical, int code, int position, bool fromScrollBarControl) override;
    void onDestroy() override;

private:
    // Marks a handler running on this window for its duration.
    class Busy;
    void controlChange(int id);
    bool contactLost();

    CCorvilPlugin &owner_;
    std::unique_ptr<UnitWindowView> view_;
    UnitWindowView *initialising_ = nullptr;
    CDlgScroller scroller_;
    bool initialised_ = false;
    std::int32_t designWidth_ = 0, designHeight_ = 0;
    int busy_ = 0;
    bool removed_ = false;
};

} // namespace corvil::plugin
