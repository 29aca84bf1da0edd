#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// Helpers of the tests that drive windows: answering the message boxes a
// command opens, and waiting for a state instead of a time.
namespace ravelle::testing {

// What a message box showed when it was answered.
struct ShownBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    int buttonCount;
    Qt::WindowModality modality;
    QRect geometry;
    Qt::TextFormat format;
};

// Runs `action`; every message box it opens is recorded and closed with OK.
// `whileOpen` runs on each box before it is closed.
inline std::vector<ShownBox> answerMessageBoxes(const std::function<void()>& action,
                                                const std::function<void(QMessageBox&)>& whileOpen = {})
{
    std::vector<ShownBox> shown;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        shown.push_back({box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size()),
                         box->windowModality(), box->frameGeometry(), box->textFormat()});
        if (whileOpen)
            whileOpen(*box);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    action();
    poll.stop();
    return shown;
}

// A bound against a broken test hanging forever, never a wait for an event.
constexpr int kHangGuardMs = 120000;

// Whether `window` is the active window and holds the keyboard focus, so
// that a key sent to the focus widget reaches it and not the window below.
inline bool hasFocusInside(const QWidget* window)
{
    const QWidget* focus = QApplication::focusWidget();
    return window != nullptr && window->isVisible() && window->isActiveWindow() && focus != nullptr
        && focus->window() == window;
}

// Runs `action` once, from the event loop, as soon as `ready` holds: a wait
// for a state, not for a time. Polls while `owner` lives. A state that never
// comes fails the test after the hang guard and closes the modal dialog it
// waited in, so that the test ends instead of hanging.
inline void whenReady(QObject* owner, std::function<bool()> ready, std::function<void()> action)
{
    auto* poll = new QTimer(owner);
    poll->setInterval(5);
    QElapsedTimer started;
    started.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, started, ready = std::move(ready), action = std::move(action)] {
        if (!ready()) {
            if (started.elapsed() < kHangGuardMs)
                return;
            ADD_FAILURE() << "the state waited for did not come within " << kHangGuardMs << " ms";
            poll->stop();
            poll->deleteLater();
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
            return;
        }
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start();
}

} // namespace ravelle::testing
