#pragma once

#include <QWidget>

#include <functional>
#include <memory>

namespace ravelle {

// The clock of a stepper's auto-repeat: one pending single shot at a time.
// The stepper uses a QTimer; tests put in a timer they fire by hand.
class RepeatTimer {
public:
    virtual ~RepeatTimer() = default;
    // Runs `onTimeout` once after `milliseconds`, replacing a pending run.
    virtual void start(int milliseconds, std::function<void()> onTimeout) = 0;
    // Drops the pending run, if any.
    virtual void stop() = 0;
};

// A stepper: 20 x 25 pixels, an up half and a down half with black arrows.
// A click on a half emits its signal once at the release; holding the left
// button repeats it (first after 400 ms, then every 100 ms). Never takes the
// keyboard focus.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);
    ~TSpinButton() override;

    static constexpr int kFirstRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

    // Replaces the repeat's clock; any hold in progress ends first.
    void setRepeatTimer(std::unique_ptr<RepeatTimer> timer);

signals:
    void upClick();
    void downClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class Half { None, Up, Down };

    Half halfAt(QPoint pos) const;
    QRect halfRect(Half half) const;
    void drawHalf(QPainter& painter, Half half);
    void setShownPressed(bool pressed);
    void repeatTick();
    void step(Half half);
    void endHold();

    std::unique_ptr<RepeatTimer> timer_;
    Half heldHalf_ = Half::None;   // the half the left button went down on
    bool shownPressed_ = false;    // the pointer is over the held half
    bool stepping_ = false;        // a step's handlers are running
    Half pendingReleaseStep_ = Half::None;
};

} // namespace ravelle
