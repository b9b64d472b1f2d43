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

TEST_F(Scroller, PageAndLineDefaultToTenthsOfTheContent) {
    scroller.SetScrollSizes(CDlgScroller::kPixelMapping, Size{190, 44});
    const Size page = scroller.pageDev(), line = scroller.lineDev();
    EXPECT_EQ((std::vector<std::int32_t>{page.cx, line.cx, page.cy, line.cy}), (std::vector<std::int32_t>{19, 1, 4, 0}));
}

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
    EXPECT_GT(window.position[Bar::Horizontal], 0);
    EXPECT_EQ(window.contentOffset.cx, -window.position[Bar::Horizontal]);

    // Large enough again: the bars go and the content is back at its origin.
    EXPECT_EQ(resize(300, 120), "");
    EXPECT_EQ(window.position[Bar::Horizontal], 0);
    EXPECT_EQ(window.contentOffset.cx, 0);
    EXPECT_EQ(window.contentOffset.cy, 0);

    // No room for a bar at all: none shows.
    ASSERT_EQ(resize(200, 120), "h");
    EXPECT_EQ(resize(10, 120), "") << "narrower than a bar is wide";
}

TEST_F(Scroller, ScrollCodesStayWithinTheLimits) {
    ASSERT_EQ(resize(150, 120), "h");
    const std::int32_t limit = window.scrollLimit(Bar::Horizontal);
    ASSERT_GT(limit, 0);
    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 7, 0, true)); // bottom
    EXPECT_EQ(window.position[Bar::Horizontal], limit) << "to the limit, never beyond";
    EXPECT_FALSE(scroller.OnScroll(0xFF00 | 1, 0, true)) << "a line further does not move";
    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 6, 0, true)); // top
    EXPECT_EQ(window.position[Bar::Horizontal], 0);
    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 5, 30, true)); // thumb track
    EXPECT_EQ(window.position[Bar::Horizontal], 30);
    EXPECT_FALSE(scroller.OnScroll(0xFF00 | 4, 90, true)) << "thumb position keeps the position";
    EXPECT_TRUE(scroller.OnScroll(0xFF00 | 0, 0, false)) << "would move";
    EXPECT_EQ(window.position[Bar::Horizontal], 30) << "but does not without do scroll";
    EXPECT_FALSE(scroller.ScrollBy(0, 50, true)) << "no vertical bar: no vertical scrolling";
}

} // namespace
