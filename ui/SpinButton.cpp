#include "ui/SpinButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <qdrawutil.h>

namespace ravelle {

namespace {

class QtRepeatTimer : public RepeatTimer {
public:
    QtRepeatTimer()
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            // The callback may restart this timer, which replaces onTimeout_.
            auto onTimeout = std::move(onTimeout_);
            onTimeout_ = nullptr;
            if (onTimeout)
                onTimeout();
        });
    }
    void start(int milliseconds, std::function<void()> onTimeout) override
    {
        onTimeout_ = std::move(onTimeout);
        timer_.start(milliseconds);
    }
    void stop() override
    {
        timer_.stop();
        onTimeout_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> onTimeout_;
};

// The arrow's image area and the triangle in it: 7 pixels at the base, 4 rows.
constexpr int kGlyphWidth = 9;
constexpr int kGlyphHeight = 6;
constexpr int kArrowRows = 4;

} // namespace

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent), timer_(std::make_unique<QtRepeatTimer>())
{
    setFixedSize(20, 25);
    setFocusPolicy(Qt::NoFocus);
}

TSpinButton::~TSpinButton()
{
    // The timer's callback points at this object: drop it before anything else goes.
    if (timer_)
        timer_->stop();
}

void TSpinButton::setRepeatTimer(std::unique_ptr<RepeatTimer> timer)
{
    endHold();
    if (timer_)
        timer_->stop();
    timer_ = std::move(timer);
}

TSpinButton::Half TSpinButton::halfAt(QPoint pos) const
{
    if (halfRect(Half::Up).contains(pos))
        return Half::Up;
    if (halfRect(Half::Down).contains(pos))
        return Half::Down;
    return Half::None;
}

QRect TSpinButton::halfRect(Half half) const
{
    // The upper half takes the smaller share of an odd height.
    const int upHeight = height() / 2;
    if (half == Half::Up)
        return QRect(0, 0, width(), upHeight);
    return QRect(0, upHeight, width(), height() - upHeight);
}

void TSpinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawHalf(painter, Half::Up);
    drawHalf(painter, Half::Down);
}

void TSpinButton::drawHalf(QPainter& painter, Half half)
{
    const QRect rect = halfRect(half);
    const bool sunken = shownPressed_ && heldHalf_ == half;
    const QBrush face = palette().brush(QPalette::Button);
    qDrawWinButton(&painter, rect, palette(), sunken, &face);

    int left = rect.left() + (rect.width() - kGlyphWidth) / 2;
    int top = rect.top() + (rect.height() - kGlyphHeight) / 2;
    if (sunken) {
        // A pressed face moves its picture down and right, as push buttons do.
        ++left;
        ++top;
    }
    const QColor ink = isEnabled() ? QColor(Qt::black) : palette().color(QPalette::Disabled, QPalette::WindowText);
    const int centre = left + kGlyphWidth / 2;
    for (int row = 0; row < kArrowRows; ++row) {
        const int halfWidth = half == Half::Up ? row : kArrowRows - 1 - row;
        painter.fillRect(centre - halfWidth, top + 1 + row, 2 * halfWidth + 1, 1, ink);
    }
}

void TSpinButton::setShownPressed(bool pressed)
{
    if (shownPressed_ == pressed)
        return;
    shownPressed_ = pressed;
    update();
}

void TSpinButton::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    // One hold at a time, and none that starts while a step is still running
    // (a step may spin a nested event loop).
    if (event->button() != Qt::LeftButton || heldHalf_ != Half::None || stepping_ || !timer_)
        return;
    const Half half = halfAt(event->position().toPoint());
    if (half == Half::None)
        return;
    heldHalf_ = half;
    shownPressed_ = true;
    update();
    timer_->start(kFirstRepeatDelayMs, [this] { repeatTick(); });
}

void TSpinButton::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (heldHalf_ != Half::None)
        setShownPressed(halfAt(event->position().toPoint()) == heldHalf_);
}

void TSpinButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || heldHalf_ == Half::None)
        return;
    const Half half = heldHalf_;
    const bool over = halfAt(event->position().toPoint()) == half;
    endHold();
    if (over)
        step(half);
}

void TSpinButton::repeatTick()
{
    if (heldHalf_ == Half::None || stepping_)
        return;
    if (shownPressed_) {
        const QPointer<TSpinButton> self(this);
        step(heldHalf_);
        if (!self)
            return;
    }
    // Re-armed only after the step has ended, so that ticks falling due during
    // a slow step are not queued up; a hold ended during the step stays ended.
    if (heldHalf_ != Half::None && timer_)
        timer_->start(kRepeatIntervalMs, [this] { repeatTick(); });
}

void TSpinButton::step(Half half)
{
    if (stepping_) {
        // A release delivered by a nested event loop inside a running step:
        // its step follows when the running one has ended.
        pendingReleaseStep_ = half;
        return;
    }
    const QPointer<TSpinButton> self(this);
    while (half != Half::None) {
        stepping_ = true;
        if (half == Half::Up)
            emit upClick();
        else
            emit downClick();
        if (!self)
            return;
        stepping_ = false;
        half = pendingReleaseStep_;
        pendingReleaseStep_ = Half::None;
    }
}

void TSpinButton::endHold()
{
    if (timer_)
        timer_->stop();
    if (heldHalf_ == Half::None)
        return;
    heldHalf_ = Half::None;
    shownPressed_ = false;
    update();
}

void TSpinButton::hideEvent(QHideEvent* event)
{
    endHold();
    QWidget::hideEvent(event);
}

void TSpinButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        endHold();
    QWidget::changeEvent(event);
}

bool TSpinButton::event(QEvent* event)
{
    // A modal window opened over ours (an error box shown by a step) blocks
    // the window and every widget in it hears of it. The mouse is the modal
    // window's from then on and the release will never reach this stepper,
    // so the hold ends here rather than repeating behind the box.
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::ParentChange)
        endHold();
    return QWidget::event(event);
}

} // namespace ravelle
