#include "ui/LongWork.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "engine/Messages.h"

namespace ravelle {

namespace {

constexpr int kProgressSteps = 1000;
// How often an open progress window shows the work's latest report.
constexpr int kProgressRefreshMs = 50;

QString text(std::string_view value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

} // namespace

// What the worker and the user-interface thread share.
struct LongWorkRunner::WorkState {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::atomic<int> steps{0};
    std::exception_ptr failure;
};

LongWorkRunner::LongWorkRunner(QWidget* parent, QString caption) : parent_(parent), caption_(std::move(caption)) {}

void LongWorkRunner::run(const QString& title, WorkShown shown, const std::function<void(const Progress&)>& work)
{
    if (running_) {
        work([](double) {});
        return;
    }
    WorkState state;
    QObject waker;
    const auto body = [&] {
        const Progress progress = [&](double fraction) {
            state.steps.store(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kProgressSteps));
            if (reportHook_)
                reportHook_();
            if (state.cancel.load())
                throw WorkCancelled();
        };
        try {
            work(progress);
        } catch (...) {
            state.failure = std::current_exception();
        }
        state.done.store(true);
        // Wakes the waiting loop below.
        QMetaObject::invokeMethod(&waker, [] {}, Qt::QueuedConnection);
    };
    // Running from before the work starts, so that the work itself sees it.
    running_ = true;
    std::thread worker;
    try {
        worker = std::thread(body);
    } catch (...) {
        running_ = false;
        throw;
    }
    try {
        waitFor(state, title, shown);
    } catch (...) {
        state.cancel.store(true);
        worker.join();
        finish();
        throw;
    }
    worker.join();
    finish();
    if (state.failure)
        std::rethrow_exception(state.failure);
}

void LongWorkRunner::waitFor(WorkState& state, const QString& title, WorkShown shown)
{
    QTimer delay;
    delay.setSingleShot(true);
    bool delayOver = false;
    QObject::connect(&delay, &QTimer::timeout, [&] { delayOver = true; });
    if (shown == WorkShown::WithProgress)
        delay.start(progressDelay_);
    QTimer refresh;
    refresh.setInterval(kProgressRefreshMs);
    // A modal progress window handles events when its value changes; once it
    // is hidden by a cancel it must not, since input waits then.
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        if (progressWindow_ && progressWindow_->isVisible())
            progressWindow_->setValue(state.steps.load());
    });

    while (!state.done.load()) {
        if (delayOver && !progressWindow_ && !state.cancel.load()) {
            openProgressWindow(title, state);
            refresh.start();
        }
        if (progressWindow_ && progressWindow_->wasCanceled())
            state.cancel.store(true);
        // Input waits while no progress window is open to take it (before
        // the window opens, and after a cancel while the work winds down).
        const bool windowOpen = progressWindow_ && progressWindow_->isVisible();
        QCoreApplication::processEvents(windowOpen ? QEventLoop::WaitForMoreEvents
                                                   : QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    }
}

void LongWorkRunner::openProgressWindow(const QString& title, WorkState& state)
{
    auto* window = new QProgressDialog(title, text(messages::kCancelWork), 0, kProgressSteps, parent_);
    window->setWindowTitle(caption_);
    window->setWindowModality(Qt::ApplicationModal);
    window->setAutoReset(false);
    window->setAutoClose(false);
    window->setMinimumDuration(0);
    window->setValue(state.steps.load());
    // Cancel, Escape and the window's close button all end up here.
    QObject::connect(window, &QProgressDialog::canceled, [&state] { state.cancel.store(true); });
    progressWindow_ = window;
    window->show();
}

void LongWorkRunner::finish()
{
    delete progressWindow_.data();
    running_ = false;
}

} // namespace ravelle
