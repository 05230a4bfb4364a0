#include <gtest/gtest.h>

#include <ostream>

#include "ShellFakes.h"
#include "shell/WindowPlacement.h"

namespace qv {
namespace {

using FakeGeometry = test::FakeScreenGeometry;

struct PlacementCase {
    const char* name;
    Rect taskbar;
    TaskbarEdge edge;
    std::int32_t width, height, x, y;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.name;
}

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, TaskbarAndWindowPosition) {
    const PlacementCase& c = GetParam();
    FakeGeometry g;
    g.taskbar = c.taskbar;
    WindowPlacement placement(g);
    const TaskbarExtent taskbar = placement.Taskbar();
    EXPECT_EQ(taskbar.edge, c.edge);
    EXPECT_EQ(taskbar.width, c.width);
    EXPECT_EQ(taskbar.height, c.height);
    const Point place = placement.BesideTray();
    EXPECT_EQ(place.x, c.x);
    EXPECT_EQ(place.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    ScreenEdges, PlacementTest,
    ::testing::Values(
        PlacementCase{
            "BottomOverhanging", {-2, 986, 1282, 1026}, TaskbarEdge::Bottom, 1280, 38, 980, 786},
        PlacementCase{"BottomExact", {0, 984, 1280, 1024}, TaskbarEdge::Bottom, 1280, 40, 980, 784},
        PlacementCase{"Left", {-2, -2, 60, 1026}, TaskbarEdge::Left, 60, 1024, 60, 824},
        PlacementCase{"Top", {-2, -2, 1282, 40}, TaskbarEdge::Top, 1280, 40, 980, 40},
        PlacementCase{"Right", {1220, -2, 1282, 1026}, TaskbarEdge::Right, 60, 1024, 920, 824},
        PlacementCase{"OddExcess", {-3, 986, 1282, 1026}, TaskbarEdge::Bottom, 1280, 38, 980, 786},
        // A side panel shorter than the screen: half the shortfall (1.5), rounded
        // down to -2, is taken off.
        PlacementCase{"ShortLeft", {0, 0, 60, 1021}, TaskbarEdge::Left, 62, 1024, 62, 824}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowPlacementTest, WindowSizeIsTheOuterRectangle) {
    FakeGeometry g;
    g.window = Rect{-5, 10, 295, 230};
    const Size size = WindowPlacement(g).OuterSize();
    EXPECT_EQ(size.width, 300);
    EXPECT_EQ(size.height, 220);
}

TEST(WindowPlacementTest, NoTaskbarPlacesTheWindowInTheWorkAreasBottomRightCorner) {
    FakeGeometry g;  // taskbar all zero
    WindowPlacement placement(g);
    Point place = placement.BesideTray();
    EXPECT_EQ(place.x, 980);
    EXPECT_EQ(place.y, 824);

    g.work = Rect{0, 30, 1250, 1024};
    place = placement.BesideTray();
    EXPECT_EQ(place.x, 950);
    EXPECT_EQ(place.y, 824);

    g.work = Rect{};  // nothing known at all: the screen's corner
    place = placement.BesideTray();
    EXPECT_EQ(place.x, 980);
    EXPECT_EQ(place.y, 824);
}

TEST(TaskbarFromWorkAreaTest, TheStripTheWorkAreaLeavesOut) {
    const Rect screen{0, 0, 1280, 1024};
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, {0, 0, 1280, 994}), (Rect{0, 994, 1280, 1024}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, {0, 28, 1280, 1024}), (Rect{0, 0, 1280, 28}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, {48, 0, 1280, 1024}), (Rect{0, 0, 48, 1024}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, {0, 0, 1232, 1024}), (Rect{1232, 0, 1280, 1024}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, screen), Rect{});
}

TEST(TaskbarFromWorkAreaTest, TheTrayIconDecidesBetweenTwoPanels) {
    const Rect screen{0, 0, 1280, 1024};
    const Rect work{0, 24, 1280, 990};  // a 24-pixel top panel and a 34-pixel bottom one
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, work), (Rect{0, 990, 1280, 1024}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, work, Rect{1200, 2, 1220, 22}),
              (Rect{0, 0, 1280, 24}));
    EXPECT_EQ(TaskbarRectFromWorkArea(screen, work, Rect{1200, 995, 1220, 1015}),
              (Rect{0, 990, 1280, 1024}));
}

TEST(TaskbarFromWorkAreaTest, DerivedPanelPlacesTheWindowAboveIt) {
    FakeGeometry g;
    g.work = Rect{0, 0, 1280, 994};
    g.taskbar = TaskbarRectFromWorkArea(Rect{0, 0, 1280, 1024}, g.work);
    const Point place = WindowPlacement(g).BesideTray();
    EXPECT_EQ(place.x, 980);
    EXPECT_EQ(place.y, 794);
}

}  // namespace
}  // namespace qv
