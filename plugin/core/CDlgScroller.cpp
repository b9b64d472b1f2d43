#include "CDlgScroller.h"

#include <climits>
#include <cstdlib>
#include <initializer_list>

namespace corvil::plugin {

namespace {
using Bar = ScrollWindow::Bar;
constexpr std::uint8_t kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbTrack = 5, kTop = 6,
                       kBottom = 7;
} // namespace

void CDlgScroller::Attach(ScrollWindow *window) {
    window_ = window;
    if (window_ && totalDev_.cx <= 0) SetScrollSizes(kPixelMapping, Size{10, 10});
}

void CDlgScroller::SetScrollSizes(std::int32_t mapMode, Size total, Size page, Size line) {
    if (!window_) return;
    const std::int32_t oldMode = mapMode_;
    mapMode_ = mapMode;
    total_ = total;
    totalDev_ = window_->toDevice(mapMode, total);
    pageDev_ = window_->toDevice(mapMode, page);
    lineDev_ = window_->toDevice(mapMode, line);
    for (Size *s : {&totalDev_, &pageDev_, &lineDev_}) s->cy = std::abs(s->cy);
    if (pageDev_.cx == 0) pageDev_.cx = totalDev_.cx / 10;
    if (pageDev_.cy == 0) pageDev_.cy = totalDev_.cy / 10;
    if (lineDev_.cx == 0) lineDev_.cx = pageDev_.cx / 10;
    if (lineDev_.cy == 0) lineDev_.cy = pageDev_.cy / 10;
    if (window_->exists()) {
        UpdateBars();
        if (oldMode != mapMode_) window_->invalidate(true);
    }
}

void CDlgScroller::UpdateBars() {
    if (!window_ || inUpdate_) return;
    inUpdate_ = true; // showing or hiding a bar changes the size and comes back here

    const bool border = window_->hasBorderStyle();
    Size bar{window_->hasScrollBarControl(Bar::Vertical) ? 0 : window_->systemBarSize(Bar::Vertical) + (border ? 0 : 1),
             window_->hasScrollBarControl(Bar::Horizontal) ? 0
                                                           : window_->systemBarSize(Bar::Horizontal) + (border ? 0 : 1)};
    Size client = window_->clientSize();
    const Size shown = client;
    if (window_->barShowing(Bar::Vertical)) client.cx += bar.cx;
    if (window_->barShowing(Bar::Horizontal)) client.cy += bar.cy;
    if (!(client.cx > bar.cx && client.cy > bar.cy)) {
        // No room for bars.
        if (shown.cx > 0 && shown.cy > 0) {
            window_->showBar(Bar::Horizontal, false);
            window_->showBar(Bar::Vertical, false);
        }
        inUpdate_ = false;
        return;
    }

    Size range{totalDev_.cx - client.cx, totalDev_.cy - client.cy};
    Size move{window_->barPosition(Bar::Horizontal), window_->barPosition(Bar::Vertical)};
    bool needH = range.cx > 0;
    if (!needH)
        move.cx = 0;
    else
        range.cy += bar.cy;
    bool needV = range.cy > 0;
    if (!needV)
        move.cy = 0;
    else
        range.cx += bar.cx;
    if (needV && !needH && range.cx > 0) {
        needH = true;
        range.cy += bar.cy;
    }
    if (range.cx > 0 && move.cx >= range.cx) move.cx = range.cx;
    if (range.cy > 0 && move.cy >= range.cy) move.cy = range.cy;

    if (needH) client.cy -= bar.cy;
    if (needV) client.cx -= bar.cx;
    ScrollToPosition(move.cx, move.cy);

    window_->showBar(Bar::Horizontal, needH);
    if (needH && !window_->setBarInfo(Bar::Horizontal, totalDev_.cx - 1, client.cx))
        window_->setBarRange(Bar::Horizontal, range.cx);
    window_->showBar(Bar::Vertical, needV);
    if (needV && !window_->setBarInfo(Bar::Vertical, totalDev_.cy - 1, client.cy))
        window_->setBarRange(Bar::Vertical, range.cy);
    inUpdate_ = false;
}

void CDlgScroller::ScrollToPosition(std::int32_t x, std::int32_t y) {
    if (!window_) return;
    const std::int32_t oldX = window_->barPosition(Bar::Horizontal);
    window_->setBarPosition(Bar::Horizontal, x);
    const std::int32_t oldY = window_->barPosition(Bar::Vertical);
    window_->setBarPosition(Bar::Vertical, y);
    window_->moveContent(oldX - x, oldY - y);
}

Size CDlgScroller::GetScrollPosition() const {
    if (!window_) return {};
    return {window_->barPosition(Bar::Horizontal), window_->barPosition(Bar::Vertical)};
}

bool CDlgScroller::OnScroll(std::uint32_t codes, std::int32_t position, bool doScroll) {
    if (!window_) return false;
    auto next = [&](std::uint8_t code, std::int32_t current, std::int32_t line, std::int32_t page) -> std::int64_t {
        switch (code) {
        case kTop: return 0;
        case kBottom: return INT_MAX;
        case kLineUp: return std::int64_t{current} - line;
        case kLineDown: return std::int64_t{current} + line;
        case kPageUp: return std::int64_t{current} - page;
        case kPageDown: return std::int64_t{current} + page;
        case kThumbTrack: return position;
        default: return current; // thumb position, end scroll, none
        }
    };
    const std::int32_t x = window_->barPosition(Bar::Horizontal), y = window_->barPosition(Bar::Vertical);
    const std::int64_t nx = next(static_cast<std::uint8_t>(codes & 0xFF), x, lineDev_.cx, pageDev_.cx);
    const std::int64_t ny = next(static_cast<std::uint8_t>((codes >> 8) & 0xFF), y, lineDev_.cy, pageDev_.cy);
    auto clampDelta = [](std::int64_t d) {
        return static_cast<std::int32_t>(d > INT_MAX ? INT_MAX : d < INT_MIN ? INT_MIN : d);
    };
    const bool moved = ScrollBy(clampDelta(nx - x), clampDelta(ny - y), doScroll);
    if (moved && doScroll) window_->updateNow();
    return moved;
}

bool CDlgScroller::ScrollBy(std::int32_t dx, std::int32_t dy, bool doScroll) {
    if (!window_) return false;
    if (!window_->barEnabled(Bar::Vertical)) dy = 0;
    if (!window_->barEnabled(Bar::Horizontal)) dx = 0;
    const std::int32_t x = window_->barPosition(Bar::Horizontal), y = window_->barPosition(Bar::Vertical);
    auto limit = [](std::int64_t v, std::int32_t max) { return static_cast<std::int32_t>(v < 0 ? 0 : v > max ? max : v); };
    const std::int32_t nx = limit(std::int64_t{x} + dx, window_->scrollLimit(Bar::Horizontal));
    const std::int32_t ny = limit(std::int64_t{y} + dy, window_->scrollLimit(Bar::Vertical));
    if (nx == x && ny == y) return false;
    if (doScroll) {
        window_->moveContent(x - nx, y - ny);
        if (nx != x) window_->setBarPosition(Bar::Horizontal, nx);
        if (ny != y) window_->setBarPosition(Bar::Vertical, ny);
    }
    return true;
}

} // namespace corvil::plugin
