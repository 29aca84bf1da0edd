#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest/QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "tests/support/FakeClock.h"
#include "ui/SpinButton.h"

namespace ravelle {
namespace {

using testing::FakeClock;
using testing::FakeClockTimer;

const QPoint kUp(10, 5);
const QPoint kDown(10, 18);
const QPoint kOutside(10, 40);

class SpinButtonTest : public ::testing::Test {
protected:
    SpinButtonTest()
    {
        layout_->addWidget(edit_);
        layout_->addWidget(button_);
        button_->setRepeatTimer(std::make_unique<FakeClockTimer>(clock_));
        QObject::connect(button_, &TSpinButton::upClick, [this] { onStep(true); });
        QObject::connect(button_, &TSpinButton::downClick, [this] { onStep(false); });
        window_.show();
    }

    void onStep(bool up)
    {
        ++depth_;
        maxDepth_ = std::max(maxDepth_, depth_);
        (up ? ups_ : downs_).push_back(clock_.now);
        if (whileStepping_)
            whileStepping_();
        --depth_;
    }

    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) { QTest::mousePress(button_, button, {}, at); }
    void move(QPoint to) { QTest::mouseMove(button_, to); }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(button_, button, {}, at);
    }

    FakeClock clock_;
    QWidget window_;
    QVBoxLayout* layout_ = new QVBoxLayout(&window_);
    QLineEdit* edit_ = new QLineEdit;
    TSpinButton* button_ = new TSpinButton;
    std::vector<long> ups_;   // the clock at each up step
    std::vector<long> downs_;
    std::function<void()> whileStepping_;
    int depth_ = 0;
    int maxDepth_ = 0;
};

TEST_F(SpinButtonTest, ClickStepsOnceAtTheReleaseOnItsOwnHalf)
{
    press(kUp);
    EXPECT_TRUE(ups_.empty());
    clock_.advanceTo(150);
    release(kUp);
    EXPECT_EQ(ups_, std::vector<long>{150});
    EXPECT_FALSE(clock_.due);

    press(kDown);
    release(kDown);
    EXPECT_EQ(downs_.size(), 1u);
    EXPECT_EQ(ups_.size(), 1u);

    // A quick second click arrives as a double click in place of its press.
    QTest::mouseDClick(button_, Qt::LeftButton, {}, kDown);
    EXPECT_EQ(downs_.size(), 1u);
    release(kDown);
    EXPECT_EQ(downs_.size(), 2u);
}

TEST_F(SpinButtonTest, HoldingOneSecondStepsEightTimes)
{
    press(kUp);
    clock_.advanceTo(1000);
    // Ticks at 400, 500, ..., 1000.
    EXPECT_EQ(ups_, (std::vector<long>{400, 500, 600, 700, 800, 900, 1000}));
    release(kUp);
    EXPECT_EQ(ups_.size(), 8u);
    EXPECT_EQ(clock_.requests.front(), 400);
    EXPECT_TRUE(std::all_of(clock_.requests.begin() + 1, clock_.requests.end(), [](int ms) { return ms == 100; }));
    clock_.advanceTo(3000);
    EXPECT_EQ(ups_.size(), 8u);
    EXPECT_TRUE(downs_.empty());
}

TEST_F(SpinButtonTest, MovingOffPausesAndMovingBackResumesAtTheNextTick)
{
    press(kUp);
    clock_.advanceTo(450);
    move(kOutside);
    clock_.advanceTo(750);
    move(kDown); // the other half counts as off
    clock_.advanceTo(950);
    move(kUp);
    clock_.advanceTo(1150);
    EXPECT_EQ(ups_, (std::vector<long>{400, 1000, 1100}));
    move(kOutside);
    release(kOutside);
    EXPECT_EQ(ups_.size(), 3u);
    EXPECT_TRUE(downs_.empty());
    EXPECT_FALSE(clock_.due);
}

TEST_F(SpinButtonTest, ReleaseAwayFromTheHalfAddsNoStep)
{
    struct Row {
        long holdMs;
        QPoint releaseAt;
        std::size_t steps;
    };
    const Row rows[] = {{100, kOutside, 0}, {100, kDown, 0}, {550, kOutside, 2}, {550, QPoint(25, 5), 2}};
    for (const auto& row : rows) {
        ups_.clear();
        clock_ = FakeClock{};
        press(kUp);
        clock_.advanceTo(row.holdMs);
        move(row.releaseAt);
        release(row.releaseAt);
        clock_.advanceTo(5000);
        EXPECT_EQ(ups_.size(), row.steps) << row.holdMs << " ms";
    }
}

TEST_F(SpinButtonTest, OnlyTheLeftButtonSteps)
{
    for (auto button : {Qt::RightButton, Qt::MiddleButton}) {
        press(kUp, button);
        clock_.advanceTo(clock_.now + 1000);
        release(kUp, button);
    }
    EXPECT_TRUE(ups_.empty());
    EXPECT_TRUE(clock_.requests.empty());

    // Another button during a hold neither ends nor doubles it.
    press(kUp);
    press(kUp, Qt::RightButton);
    release(kUp, Qt::RightButton);
    EXPECT_TRUE(ups_.empty());
    clock_.advanceTo(clock_.now + 400);
    release(kUp);
    EXPECT_EQ(ups_.size(), 2u);
}

TEST_F(SpinButtonTest, SlowStepsSlowTheRepeatInsteadOfQueueingTicks)
{
    whileStepping_ = [this] { clock_.now += 250; };
    press(kUp);
    clock_.advanceTo(1000);
    // 400 (ends 650), 750 (ends 1000); the tick due at 1100 has not come.
    EXPECT_EQ(ups_, (std::vector<long>{400, 750}));
    release(kUp);
    EXPECT_EQ(ups_.size(), 3u);
}

TEST_F(SpinButtonTest, ReleaseDuringARunningStepWaitsForItsEnd)
{
    bool released = false;
    whileStepping_ = [&] {
        if (released)
            return;
        released = true;
        // The step spins the event loop, which delivers the release.
        QMouseEvent event(QEvent::MouseButtonRelease, QPointF(kUp), button_->mapToGlobal(QPointF(kUp)),
                          Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button_, &event);
    };
    press(kUp);
    clock_.advanceTo(400);
    EXPECT_EQ(ups_.size(), 2u);
    EXPECT_EQ(maxDepth_, 1);
    EXPECT_FALSE(clock_.due);
}

TEST_F(SpinButtonTest, ErrorBoxOnARepeatTickEndsTheRepeat)
{
    int boxes = 0;
    whileStepping_ = [&] {
        if (ups_.size() != 2)
            return;
        ++boxes;
        // Closes the box from inside its own event loop, as the user's OK would.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->reject();
        });
        closer.start(0);
        QMessageBox::critical(&window_, "ravelle2", "'GCntr' は浮動小数点数ではありません.");
    };
    press(kUp);
    clock_.advanceTo(2000);
    release(kUp);
    clock_.advanceTo(4000);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(ups_, (std::vector<long>{400, 500}));

    // The stepper works as before afterwards.
    press(kUp);
    release(kUp);
    EXPECT_EQ(ups_.size(), 3u);
}

TEST_F(SpinButtonTest, HidingOrDisablingEndsAHold)
{
    const std::vector<std::function<void()>> ends{[this] { button_->hide(); }, [this] { button_->setEnabled(false); }};
    for (const auto& end : ends) {
        ups_.clear();
        button_->show();
        button_->setEnabled(true);
        press(kUp);
        clock_.advanceTo(clock_.now + 450);
        end();
        clock_.advanceTo(clock_.now + 1000);
        button_->show();
        button_->setEnabled(true);
        release(kUp);
        EXPECT_EQ(ups_.size(), 1u);
    }
}

TEST_F(SpinButtonTest, ClickLeavesTheKeyboardFocusWhereItWas)
{
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_, 120000));
    edit_->setFocus();
    ASSERT_TRUE(edit_->hasFocus());
    QTest::mouseClick(button_, Qt::LeftButton, {}, kUp);
    EXPECT_EQ(ups_.size(), 1u);
    EXPECT_TRUE(edit_->hasFocus());
    EXPECT_EQ(button_->focusPolicy(), Qt::NoFocus);
}

TEST_F(SpinButtonTest, ArrowsPointOutwardAndThePressedHalfMoves)
{
    // Each row: the arrow's tip and the ends of its 7-pixel base.
    struct Arrow {
        QPoint tip;
        QPoint baseLeft;
        QPoint baseRight;
    };
    const auto black = [&](const QImage& image, QPoint p) { return image.pixelColor(p) == QColor(Qt::black); };
    const auto check = [&](const QImage& image, Arrow arrow, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(black(image, arrow.tip));
        EXPECT_FALSE(black(image, arrow.tip + QPoint(-1, 0)));
        EXPECT_FALSE(black(image, arrow.tip + QPoint(1, 0)));
        EXPECT_TRUE(black(image, arrow.baseLeft));
        EXPECT_TRUE(black(image, arrow.baseRight));
        EXPECT_EQ(arrow.baseRight.x() - arrow.baseLeft.x(), 6);
        EXPECT_FALSE(black(image, arrow.baseLeft + QPoint(-1, 0)));
        EXPECT_FALSE(black(image, arrow.baseRight + QPoint(1, 0)));
    };
    const Arrow up{{9, 4}, {6, 7}, {12, 7}};
    const Arrow down{{9, 19}, {6, 16}, {12, 16}};
    const QPoint shift(1, 1);

    const QImage idle = button_->grab().toImage();
    EXPECT_EQ(idle.size(), QSize(20, 25));
    check(idle, up, "up, idle");
    check(idle, down, "down, idle");

    press(kUp);
    const QImage upPressed = button_->grab().toImage();
    check(upPressed, {up.tip + shift, up.baseLeft + shift, up.baseRight + shift}, "up, pressed");
    check(upPressed, down, "down, while up is pressed");
    move(kOutside);
    check(button_->grab().toImage(), up, "up, pointer moved off");
    release(kOutside);

    press(kDown);
    check(button_->grab().toImage(), {down.tip + shift, down.baseLeft + shift, down.baseRight + shift},
          "down, pressed");
    release(kOutside);
}

} // namespace
} // namespace ravelle
