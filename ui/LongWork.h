#pragma once

#include <atomic>

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <chrono>
#include <functional>

#include "commands/CommandHost.h"

class QWidget;

namespace ravelle {

// Runs long work on a worker thread while the user-interface thread keeps
// its event loop going: the windows repaint and follow the window system,
// but user input waits until the work has ended (as it would behind a
// command that ran on this thread), so no other command starts meanwhile.
// Work that shows its progress opens a modal progress window with a Cancel
// button once it has run for the progress delay; Cancel makes the work's
// next progress report throw WorkCancelled.
class LongWorkRunner {
public:
    static constexpr std::chrono::milliseconds kProgressDelay{500};

    // `parent` parents the progress window, whose caption is `caption`.
    LongWorkRunner(QWidget* parent, QString caption);

    // Runs `work` to its end and rethrows here whatever it threw. A call
    // while work runs (a nested event loop's doing) runs `work` on the spot.
    void run(const QString& title, WorkShown shown, const std::function<void(const Progress&)>& work);

    bool running() const { return running_; }

    // How long work runs before its progress window opens (tests shorten it).
    void setProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }
    // The progress window while it is open, or null.
    QProgressDialog* progressWindow() const { return progressWindow_; }
    // Called on the worker thread at every progress report, before the
    // report looks for a cancel (tests hold the work there).
    void setReportHook(std::function<void()> hook) { reportHook_ = std::move(hook); }

private:
    struct WorkState;
    void waitFor(WorkState& state, const QString& title, WorkShown shown);
    void openProgressWindow(const QString& title, WorkState& state);
    void finish();

    QWidget* parent_;
    QString caption_;
    std::chrono::milliseconds progressDelay_ = kProgressDelay;
    // Read by the work on its own thread too.
    std::atomic<bool> running_{false};
    QPointer<QProgressDialog> progressWindow_;
    std::function<void()> reportHook_;
};

} // namespace ravelle
