#include "MonitorTestSupport.h"
#include "monitor/TaskbarNotifier.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// The bundled pictures come from the monitor's static library.
static void initMonitorPictures() {
    Q_INIT_RESOURCE(monitor);
}

using monitor::CTaskbarNotifier;
using monitor::ScreenAreas;
using monitor::TaskbarEdge;

namespace {

const QRect kScreen(0, 0, 1280, 1024);

struct Edge {
    const char* name;
    QRect work;
    TaskbarEdge edge;
    QPoint start; // where the slide begins, just beyond the taskbar
    QPoint shown; // where it rests
    int steps;
};

// A 224 x 112 skin; steps are its width (sideways) or height over 2 pixels.
const Edge kEdges[] = {
    {"bottom", QRect(0, 0, 1280, 984), TaskbarEdge::Bottom, {1056, 984}, {1056, 872}, 56},
    {"top", QRect(0, 40, 1280, 984), TaskbarEdge::Top, {1056, -72}, {1056, 40}, 56},
    {"left", QRect(60, 0, 1220, 1024), TaskbarEdge::Left, {-164, 912}, {60, 912}, 112},
    {"right", QRect(0, 0, 1220, 1024), TaskbarEdge::Right, {1220, 912}, {996, 912}, 112},
};

class NotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<mgtest::FakeTimers>();
        timers = fake.get();
        notifier.setTimers(std::move(fake));
        QPixmap skin(224, 112);
        skin.fill(Qt::white);
        notifier.setSkin(skin);
        useWorkArea(kEdges[0].work);
    }
    void useWorkArea(const QRect& work) {
        notifier.setScreenAreaProvider([work] { return ScreenAreas{kScreen, work}; });
    }
    void tick(int id, int times = 1) {
        for (int i = 0; i < times; ++i)
            notifier.onTimer(id);
    }

    CTaskbarNotifier notifier;
    mgtest::FakeTimers* timers = nullptr;
};

TEST_F(NotifierTest, FindsTheTaskbarEdgeFromTheWorkArea) {
    for (const Edge& e : kEdges)
        EXPECT_EQ(monitor::findTaskbarEdge({kScreen, e.work}), e.edge) << e.name;
    // No panel at all: the pop-up rises from the bottom.
    EXPECT_EQ(monitor::findTaskbarEdge({kScreen, kScreen}), TaskbarEdge::Bottom);
}

TEST_F(NotifierTest, SlidesInFromEachEdgeAndRestsAtTheWorkAreaCorner) {
    for (const Edge& e : kEdges) {
        notifier.withdraw();
        useWorkArea(e.work);
        ASSERT_TRUE(notifier.popUp("http://h/a.zip", 500, 5000, 500)) << e.name;
        EXPECT_EQ(notifier.placement(), e.edge) << e.name;
        EXPECT_EQ(notifier.startPosition(), e.start) << e.name;
        EXPECT_EQ(timers->running.at(CTaskbarNotifier::ShowTimer), 500u / e.steps) << e.name;
        EXPECT_EQ(notifier.hideStepDelay(), 500u / e.steps) << e.name;
        tick(CTaskbarNotifier::ShowTimer, e.steps);
        EXPECT_EQ(notifier.state(), CTaskbarNotifier::SlidingIn) << e.name;
        EXPECT_EQ(notifier.pos(), e.shown) << e.name;
        tick(CTaskbarNotifier::ShowTimer);
        EXPECT_EQ(notifier.state(), CTaskbarNotifier::Waiting) << e.name;
        EXPECT_EQ(notifier.pos(), e.shown) << e.name;
        EXPECT_EQ(notifier.size(), QSize(224, 112)) << e.name;
    }
}

TEST_F(NotifierTest, RunsTheWholeCycleWithItsTimings) {
    ASSERT_TRUE(notifier.popUp("http://h/a.zip", 500, 5000, 500));
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Hidden); // the first tick starts the slide
    EXPECT_TRUE(notifier.isVisible());
    EXPECT_EQ(timers->running, (std::map<int, unsigned>{{1, 8}}));
    tick(1, 57);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Waiting);
    EXPECT_EQ(timers->running, (std::map<int, unsigned>{{2, 5000}}));
    tick(2);
    EXPECT_EQ(timers->running, (std::map<int, unsigned>{{3, 8}}));
    tick(3);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::SlidingOut);
    EXPECT_EQ(notifier.pos(), QPoint(1056, 874));
    tick(3, 56);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Hidden);
    EXPECT_FALSE(notifier.isVisible());
    EXPECT_TRUE(timers->running.empty());
}

TEST_F(NotifierTest, TheMouseKeepsItShownAndBringsItBack) {
    notifier.popUp("http://h/a.zip", 500, 5000, 500);
    tick(1, 57);
    notifier.setMouseOver(true);
    tick(2, 3);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Waiting);
    EXPECT_TRUE(timers->isRunning(2));
    EXPECT_FALSE(timers->isRunning(3));

    notifier.setMouseOver(false);
    tick(2);
    tick(3, 10);
    EXPECT_EQ(notifier.pos(), QPoint(1056, 892));
    notifier.setMouseOver(true); // the mouse catches it on its way out
    tick(3, 11);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Waiting);
    EXPECT_EQ(notifier.pos(), QPoint(1056, 872));
    EXPECT_TRUE(timers->isRunning(2));
    notifier.setMouseOver(false);
    tick(3);
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::SlidingOut);
}

TEST_F(NotifierTest, ASecondLinkRestartsTheWaitOrJumpsBack) {
    notifier.popUp("http://h/a.zip", 500, 5000, 500);
    tick(1, 57);
    const int waitStarts = timers->starts[2];
    notifier.popUp("http://h/b.zip", 500, 5000, 500);
    EXPECT_EQ(notifier.text(), "http://h/b.zip");
    EXPECT_EQ(timers->starts[2], waitStarts + 1);

    tick(2);
    tick(3, 20);
    notifier.popUp("http://h/c.zip", 500, 5000, 500);
    EXPECT_EQ(notifier.pos(), QPoint(1056, 872));
    EXPECT_FALSE(timers->isRunning(3));
    EXPECT_EQ(timers->running.at(2), 5000u);
    EXPECT_EQ(notifier.text(), "http://h/c.zip");
}

TEST_F(NotifierTest, ASkinThatCannotBeLoadedShowsNothingAndDividesByNothing) {
    EXPECT_FALSE(notifier.loadSkin("/nonexistent/skin.png"));
    EXPECT_EQ(notifier.skinSize(), QSize(0, 0));
    EXPECT_FALSE(notifier.popUp("http://h/a.zip", 500, 5000, 500));
    EXPECT_TRUE(timers->running.empty());
    EXPECT_EQ(notifier.state(), CTaskbarNotifier::Hidden);
    QPixmap sliver(224, 1); // too flat for a single step upwards
    notifier.setSkin(sliver);
    EXPECT_FALSE(notifier.popUp("http://h/a.zip", 500, 5000, 500));
}

TEST_F(NotifierTest, HoverChangesFontAndColourAndAClickIsAnnounced) {
    notifier.chooseFonts("Microsoft Sans Serif", 80, 0, CTaskbarNotifier::Underline);
    notifier.chooseColours(QColor(0, 64, 255), QColor(0, 0, 255));
    EXPECT_FALSE(notifier.currentFont().underline());
    EXPECT_EQ(notifier.currentColour(), QColor(0, 64, 255));
    EXPECT_DOUBLE_EQ(notifier.currentFont().pointSizeF(), 8.0);
    notifier.setMouseOver(true);
    EXPECT_TRUE(notifier.currentFont().underline());
    EXPECT_EQ(notifier.currentColour(), QColor(0, 0, 255));

    notifier.popUp("http://h/a.zip", 500, 5000, 500);
    QSignalSpy clicks(&notifier, &CTaskbarNotifier::clicked);
    QTest::mouseClick(&notifier, Qt::LeftButton);
    QTest::mouseClick(&notifier, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(notifier.cursor().shape(), Qt::PointingHandCursor);
}

// With real timers and the timings scaled down, the states follow 1, 2, 3, 0.
TEST(NotifierRealTimers, GoesThroughItsStatesInOrder) {
    CTaskbarNotifier notifier;
    QPixmap skin(40, 20);
    skin.fill(Qt::white);
    notifier.setSkin(skin);
    notifier.setScreenAreaProvider([] { return ScreenAreas{kScreen, QRect(0, 0, 1280, 984)}; });
    std::vector<int> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (seen.empty() || seen.back() != notifier.state())
            seen.push_back(notifier.state());
    });
    watch.start(1);
    ASSERT_TRUE(notifier.popUp("http://h/a.zip", 40, 150, 40));
    EXPECT_TRUE(mgtest::waitUntil([&] { return seen.size() >= 4 && seen.back() == 0; }));
    if (!seen.empty() && seen.front() == 0)
        seen.erase(seen.begin()); // before the first tick
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0}));
}

} // namespace

namespace {

// The pop-up as the monitor dresses it paints its text over the skin. With
// MG_SCREENSHOT_DIR set the picture is kept there (scripts/screenshots-monitor).
TEST(NotifierPicture, PaintsTheLinkOverTheBundledSkin) {
    initMonitorPictures();
    CTaskbarNotifier notifier;
    notifier.setTimers(std::make_unique<mgtest::FakeTimers>());
    ASSERT_TRUE(notifier.loadSkin(":/monitor/skin.png"));
    notifier.chooseFonts("Microsoft Sans Serif", 80, 0, CTaskbarNotifier::Underline);
    notifier.chooseColours(QColor(0, 64, 255), QColor(0, 0, 255));
    const QSize size = notifier.skinSize();
    notifier.placeText(QRect(10, 25, size.width() - 20, size.height() - 55));
    notifier.setScreenAreaProvider([] { return ScreenAreas{kScreen, QRect(0, 0, 1280, 984)}; });
    const QString link = "https://downloads.h.example/releases/2026/marrowglen-sample-archive-"
                         "with-a-rather-long-name-that-needs-an-ellipsis-at-its-end.zip";
    ASSERT_TRUE(notifier.popUp(link, 500, 5000, 500));
    for (int i = 0; i < 57; ++i)
        notifier.onTimer(CTaskbarNotifier::ShowTimer);

    const QImage plain = notifier.grab().toImage();
    const QImage skin = QPixmap(":/monitor/skin.png").toImage().convertToFormat(plain.format());
    EXPECT_EQ(plain.size(), skin.size());
    EXPECT_NE(plain, skin);                   // the text is there
    for (int x = 0; x < skin.width(); x += 7) // nothing drawn below the text rectangle
        EXPECT_EQ(plain.pixel(x, skin.height() - 10), skin.pixel(x, skin.height() - 10));
    notifier.setMouseOver(true);
    const QImage hovered = notifier.grab().toImage();
    EXPECT_NE(hovered, plain); // underlined, in the hover colour

    const QByteArray folder = qgetenv("MG_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        plain.save(QString::fromLocal8Bit(folder) + "/notifier.png");
        hovered.save(QString::fromLocal8Bit(folder) + "/notifier-hover.png");
    }
}

// Clear corners: the window's shape cuts them out (no compositor), the picture keeps them
// clear (a compositor).
TEST(NotifierLook, TheRoundedCornersAreClear) {
    initMonitorPictures();
    CTaskbarNotifier notifier;
    ASSERT_TRUE(notifier.loadSkin(":/monitor/skin.png"));
    notifier.resize(notifier.skinSize());
    const QImage shot = notifier.grab().toImage();
    const int r = shot.width() - 1, b = shot.height() - 1;
    for (const QPoint at :
         {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b), QPoint(r / 2, 0)}) {
        const bool corner = at.x() != r / 2;
        EXPECT_EQ(shot.pixelColor(at).alpha(), corner ? 0 : 255) << at.x() << "," << at.y();
        EXPECT_EQ(notifier.mask().contains(at), !corner) << at.x() << "," << at.y();
    }
}

} // namespace
