// Gives a dialog window the scroll behaviour of a scrolling document view,
// in device units: scroll bars appear on the sides where the client area is
// smaller than the content, and the content moves under them.
#pragma once

#include <cstdint>

namespace corvil::plugin {

struct Size {
    std::int32_t cx = 0, cy = 0;
};

// What the scroller asks of the window whose content scrolls.
class ScrollWindow {
public:
    enum Bar { Horizontal, Vertical };
    virtual ~ScrollWindow() = default;
    virtual bool exists() = 0;
    virtual Size clientSize() = 0;
    virtual bool hasBorderStyle() = 0;
    virtual bool hasScrollBarControl(Bar bar) = 0; // a scroll-bar control of its own on that side
    virtual std::int32_t systemBarSize(Bar bar) = 0; // vertical bar's width, horizontal bar's height
    virtual bool barShowing(Bar bar) = 0;
    virtual void showBar(Bar bar, bool show) = 0;
    virtual bool setBarInfo(Bar bar, std::int32_t max, std::int32_t page) = 0; // range 0..max; false when refused
    virtual void setBarRange(Bar bar, std::int32_t max) = 0;                    // range 0..max
    virtual std::int32_t barPosition(Bar bar) = 0;
    virtual void setBarPosition(Bar bar, std::int32_t position) = 0;
    virtual std::int32_t scrollLimit(Bar bar) = 0;
    virtual bool barEnabled(Bar bar) = 0; // an enabled bar: its control enabled, or the bar's style
    virtual void moveContent(std::int32_t dx, std::int32_t dy) = 0;
    virtual void invalidate(bool erase) = 0;
    virtual void updateNow() = 0;
    // Logical units of `mapMode` to device units, with a screen device context.
    virtual Size toDevice(std::int32_t mapMode, Size size) = 0;
};

class CDlgScroller {
public:
    static constexpr std::int32_t kPixelMapping = 1; // one logical unit per pixel

    void Attach(ScrollWindow *window);
    void SetScrollSizes(std::int32_t mapMode, Size total, Size page = {}, Size line = {});
    void UpdateBars();
    bool OnScroll(std::uint32_t codes, std::int32_t position, bool doScroll);
    bool ScrollBy(std::int32_t dx, std::int32_t dy, bool doScroll);
    void ScrollToPosition(std::int32_t x, std::int32_t y);
    Size GetScrollPosition() const;

    Size totalDev() const { return totalDev_; }
    Size pageDev() const { return pageDev_; }
    Size lineDev() const { return lineDev_; }

private:
    ScrollWindow *window_ = nullptr;
    std::int32_t mapMode_ = 0;
    Size total_, totalDev_, pageDev_, lineDev_;
    bool inUpdate_ = false;
};

} // namespace corvil::plugin
