// The unit window's content scrolling, over a window whose client area
// shrinks when a bar shows, as a real one's does.
#include <gtest/gtest.h>

#include "CDlgScroller.h"
#include "fakes.h"

using namespace corvil::plugin;
using Bar = ScrollWindow::Bar;

namespace {

class Scroller : public ::testing::Test {
protected:
    fakes::FakeScrollWindow window;
    CDlgScroller scroller;
    void SetUp() override {
        window.onSizeChange = [this] { scroller.UpdateBars(); };
        scroller.Attach(&window);
        scroller.SetScrollSizes(CDlgScroller::kPixelMapping, Size{286, 66});
    }
    // The bars showing at that client size: "", "h", "v" or "hv".
    std::string resize(std::int32_t cx, std::int32_t cy) {
        window.area = {cx, cy};
        scroller.Attach(&window);
        scroller.UpdateBars();
        return std::string(window.shown[Bar::Horizontal] ? "h" : "") + (window.shown[Bar::Vertical] ? "v" : "");
    }
};

TEST_F(Scroller, BarsAppearWhereTheContentDoesNotFitAndGoAgain) {
    EXPECT_EQ(resize(286, 66), "") << "no bars at the design size";

    // Narrower than the content: a horizontal bar, whose height leaves the
    // client shorter than the content: a vertical bar as well.
    EXPECT_EQ(resize(200, 66), "hv");
    EXPECT_EQ(window.max[Bar::Horizontal], 285);
    EXPECT_EQ(window.page[Bar::Horizontal], 200 - 18);

    // Only narrower, with height to spare: one bar.
    EXPECT_EQ(resize(200, 120), "h");

    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 3, 0, true)); // page right
    EXPECT_EQ((std::pair{window.position[Bar::Horizontal], window.contentOffset.cx}), (std::pair{28, -28}));

    // Large enough again: the bars go and the content is back at its origin.
    EXPECT_EQ(resize(300, 120), "");
    EXPECT_EQ((std::tuple{window.position[Bar::Horizontal], window.contentOffset.cx, window.contentOffset.cy}),
              (std::tuple{0, 0, 0}));

    // No room for a bar at all: none shows.
    ASSERT_EQ(resize(200, 120), "h");
    EXPECT_EQ(resize(10, 120), "") << "narrower than a bar is wide";
}

// A page is a tenth of the content (286 x 66: 28 x 6), a line a tenth of a page.
TEST_F(Scroller, ScrollCodesStepByTenthsAndStayWithinTheLimits) {
    ASSERT_EQ(resize(150, 120), "h");
    const std::int32_t limit = window.scrollLimit(Bar::Horizontal);
    // A horizontal code: whether it moved, and the position it left.
    const auto step = [&](std::uint32_t code, std::int32_t thumb = 0) {
        const bool moved = scroller.OnScroll(0xFF00 | code, thumb, true);
        return std::pair{moved, window.position[Bar::Horizontal]};
    };
    EXPECT_EQ(step(3), (std::pair{true, 28})) << "page right";
    EXPECT_EQ(step(1), (std::pair{true, 30})) << "line right";
    EXPECT_EQ(step(7), (std::pair{true, limit})) << "bottom: to the limit, never beyond";
    EXPECT_EQ(step(1), (std::pair{false, limit})) << "a line further does not move";
    EXPECT_EQ(step(6), (std::pair{true, 0})) << "top";
    EXPECT_EQ(step(5, 30), (std::pair{true, 30})) << "thumb track";
    EXPECT_EQ(step(4, 90), (std::pair{false, 30})) << "thumb position keeps the position";
    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 0, 0, false)) << "would move";
    EXPECT_EQ(window.position[Bar::Horizontal], 30) << "but does not without do scroll";
    EXPECT_FALSE(scroller.ScrollBy(0, 50, true)) << "no vertical bar: no vertical scrolling";

    ASSERT_EQ(resize(320, 40), "v");
    EXPECT_TRUE(scroller.OnScroll(0x03FF, 0, true)); // page down
    EXPECT_EQ(window.position[Bar::Vertical], 6);
    EXPECT_FALSE(scroller.OnScroll(0x01FF, 0, true)) << "a line down, a tenth of 6, is no pixel";
}

} // namespace
