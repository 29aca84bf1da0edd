// Long work in the window: it runs on another thread while the window goes
// on, shows its progress with a Cancel button when it takes long, and no
// other command starts meanwhile.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/ProgramState.h"
#include "engine/UserError.h"
#include "tests/support/WindowTesting.h"
#include "ui/AboutWindow.h"
#include "ui/LongWork.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"
#include "ui/RasterImage.h"
#include "ui/SpinButton.h"

namespace ravelle {
namespace {

using namespace std::chrono_literals;
using testing::answerMessageBoxes;
using testing::kHangGuardMs;
using testing::whenReady;

// Waits on the worker for a state the user-interface thread brings about;
// the bound only guards against a broken runner hanging the test.
bool waitOnWorker(const std::atomic<bool>& flag)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(LongWorkRunnerTest, WorkRunsOnAnotherThreadWhileTheEventLoopGoesOn)
{
    LongWorkRunner runner(nullptr, QStringLiteral("Ravelle2"));
    std::atomic<bool> timerRan{false};
    QTimer::singleShot(0, [&] { timerRan = true; });
    std::thread::id workThread;
    bool sawRunning = false;
    runner.run(QStringLiteral("work"), WorkShown::Quietly, [&](const Progress&) {
        workThread = std::this_thread::get_id();
        sawRunning = runner.running();
        EXPECT_TRUE(waitOnWorker(timerRan)) << "the event loop stood still";
    });
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(runner.running());
}

TEST(LongWorkRunnerTest, WhatTheWorkThrowsComesOutOfTheRun)
{
    LongWorkRunner runner(nullptr, QStringLiteral("Ravelle2"));
    const struct {
        const char* what;
        std::function<void()> fail;
        std::function<void(const std::exception_ptr&)> check;
    } rows[] = {
        {"the user's error", [] { throw UserError("'x' は浮動小数点数ではありません"); },
         [](const std::exception_ptr& e) {
             try {
                 std::rethrow_exception(e);
             } catch (const UserError& error) {
                 EXPECT_EQ(error.message(), "'x' は浮動小数点数ではありません");
             }
         }},
        {"out of memory", [] { throw std::bad_alloc(); },
         [](const std::exception_ptr& e) { EXPECT_THROW(std::rethrow_exception(e), std::bad_alloc); }},
        {"a cancel", [] { throw WorkCancelled(); },
         [](const std::exception_ptr& e) { EXPECT_THROW(std::rethrow_exception(e), WorkCancelled); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::exception_ptr thrown;
        try {
            runner.run(QStringLiteral("work"), WorkShown::WithProgress, [&](const Progress&) { row.fail(); });
        } catch (...) {
            thrown = std::current_exception();
        }
        ASSERT_TRUE(thrown);
        row.check(thrown);
        EXPECT_FALSE(runner.running());
    }
}

// The progress window opens once the work has run for the delay (none here),
// shows what is done, and its Cancel stops the work at its next report.
TEST(LongWorkRunnerTest, ProgressWindowShowsTheWorkAndCancelStopsIt)
{
    QWidget parent;
    LongWorkRunner runner(&parent, QStringLiteral("Ravelle2"));
    runner.setProgressDelay(0ms);
    std::atomic<bool> cancelled{false};
    QString label;
    QString caption;
    Qt::WindowModality modality = Qt::NonModal;
    // Cancel waits for the first report to have passed, so that the
    // report after it is the one the cancel stops.
    std::atomic<bool> firstReportPassed{false};
    whenReady(
        &parent,
        [&] { return firstReportPassed.load() && runner.progressWindow() && runner.progressWindow()->isVisible(); },
        [&] {
            QProgressDialog* window = runner.progressWindow();
            label = window->labelText();
            caption = window->windowTitle();
            modality = window->windowModality();
            auto* cancel = window->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text(), "Cancel");
            cancel->click();
            cancelled = true;
        });
    int reportsAfterCancel = 0;
    EXPECT_THROW(runner.run(QStringLiteral("Importing /data/run1.dat"), WorkShown::WithProgress,
                            [&](const Progress& progress) {
                                progress(0.25);
                                firstReportPassed = true;
                                EXPECT_TRUE(waitOnWorker(cancelled));
                                ++reportsAfterCancel;
                                progress(0.5); // throws
                                ++reportsAfterCancel;
                            }),
                 WorkCancelled);
    EXPECT_EQ(reportsAfterCancel, 1);
    EXPECT_EQ(label, "Importing /data/run1.dat");
    EXPECT_EQ(caption, "Ravelle2");
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(runner.progressWindow(), nullptr) << "the window goes with the work";
}

TEST(LongWorkRunnerTest, QuietWorkNeverShowsAWindow)
{
    QWidget parent;
    LongWorkRunner runner(&parent, QStringLiteral("Ravelle2"));
    runner.setProgressDelay(0ms);
    std::atomic<int> turns{0};
    std::atomic<bool> loopTurned{false};
    bool windowSeen = false;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        windowSeen = windowSeen || runner.progressWindow() != nullptr;
        if (++turns >= 20)
            loopTurned = true;
    });
    watch.start();
    runner.run(QStringLiteral("Calculating"), WorkShown::Quietly, [&](const Progress& progress) {
        progress(0.5);
        EXPECT_TRUE(waitOnWorker(loopTurned));
    });
    EXPECT_FALSE(windowSeen);
}

TEST(LongWorkRunnerTest, ARunWhileWorkRunsRunsOnTheSpot)
{
    LongWorkRunner runner(nullptr, QStringLiteral("Ravelle2"));
    std::atomic<bool> innerDone{false};
    std::thread::id innerThread;
    QTimer::singleShot(0, [&] {
        runner.run(QStringLiteral("inner"), WorkShown::Quietly,
                   [&](const Progress&) { innerThread = std::this_thread::get_id(); });
        innerDone = true;
    });
    runner.run(QStringLiteral("outer"), WorkShown::Quietly,
               [&](const Progress&) { EXPECT_TRUE(waitOnWorker(innerDone)); });
    EXPECT_EQ(innerThread, std::this_thread::get_id());
}

class WindowWorkTest : public ::testing::Test {
protected:
    WindowWorkTest()
    {
        Initialise(state, startDir.path().toStdString());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
        form->setAboutWindow(&about);
        form->host().setDialogAnswerer([this](QtHost::DialogKind, const std::string&, const std::string&) {
            return std::optional<std::string>(answer);
        });
    }
    ~WindowWorkTest() override
    {
        form.reset();
        Finalise(state);
    }

    QString text(const char* box) const { return form->box(box)->text(); }

    QTemporaryDir startDir;
    ProgramState state;
    std::unique_ptr<TForm1> form;
    TForm2 about;
    std::string answer;
};

// Input waits while long work runs; commands raised otherwise are refused.
TEST_F(WindowWorkTest, NoOtherCommandStartsWhileLongWorkRuns)
{
    form->H1->setText(QStringLiteral("1.5"));
    std::atomic<bool> tried{false};
    QTimer::singleShot(0, form.get(), [&] {
        form->Calculate1->click();
        emit form->SpinButton1->upClick();
        form->Help1->trigger();
        form->SaveSimulatedSpectrum1->trigger();
        tried = true;
    });
    const auto shown = answerMessageBoxes([&] {
        form->host().runLongWork("work", WorkShown::Quietly,
                                 [&](const Progress&) { EXPECT_TRUE(waitOnWorker(tried)); });
    });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(text("Edit1"), "Edit1") << "Calculate ran";
    EXPECT_EQ(text("GCntr"), "GCntr") << "the stepper ran";
    EXPECT_FALSE(about.isVisible()) << "Help ran";
    EXPECT_TRUE(form->Image1->raster().isNull());

    // Afterwards the window takes commands again.
    EXPECT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
    EXPECT_EQ(text("Edit1"), "-15.00");
}

TEST_F(WindowWorkTest, AnImportCancelledFromItsProgressWindowChangesNothing)
{
    // A first import and a Calculate, for the cancelled one to leave alone.
    answer = startDir.filePath("first.dat").toStdString();
    {
        std::ofstream out(answer, std::ios::binary);
        for (int i = 0; i < 400; ++i)
            out << 3300 + 0.1 * i << ' ' << (i % 7) << "\r\n";
    }
    form->H1->setText(QStringLiteral("1.5"));
    ASSERT_TRUE(answerMessageBoxes([&] { form->ImportObservedSpectrum1->trigger(); }).empty());
    ASSERT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
    std::vector<QString> boxes;
    for (const char* box : {"Edit1", "Edit2", "GCntr", "G", "NoPnts"})
        boxes.push_back(text(box));
    const QImage picture = form->Image1->raster().copy();
    const std::vector<double> observed = state.ObsField;

    answer = startDir.filePath("second.dat").toStdString();
    {
        std::ofstream out(answer, std::ios::binary);
        for (int i = 0; i < 200000; ++i)
            out << 3400 + 0.001 * i << ' ' << (i % 5) << "\r\n";
    }
    LongWorkRunner& runner = form->host().longWork();
    runner.setProgressDelay(0ms);
    // The work waits at its first report until Cancel has been pressed.
    std::atomic<bool> cancelled{false};
    runner.setReportHook([&] { EXPECT_TRUE(waitOnWorker(cancelled)); });
    whenReady(
        // Escape as a user presses it: on the progress window once it is the
        // active window with the focus.
        form.get(), [&] { return testing::hasFocusInside(runner.progressWindow()); },
        [&] {
            QTest::keyClick(runner.progressWindow(), Qt::Key_Escape);
            cancelled = true;
        });
    EXPECT_TRUE(answerMessageBoxes([&] { form->ImportObservedSpectrum1->trigger(); }).empty());
    runner.setReportHook({});

    std::size_t i = 0;
    for (const char* box : {"Edit1", "Edit2", "GCntr", "G", "NoPnts"})
        EXPECT_EQ(text(box), boxes[i++]) << box;
    EXPECT_EQ(form->Image1->raster(), picture);
    EXPECT_EQ(state.ObsField, observed);
    EXPECT_EQ(state.ObsFileName, startDir.filePath("first.dat").toStdString());
    EXPECT_EQ(state.LastDir, startDir.path().toStdString());
}

// The clock of a held stepper, ticked by hand.
class ManualTimer : public RepeatTimer {
public:
    void start(int, std::function<void()> onTimeout) override { pending_ = std::move(onTimeout); }
    void stop() override { pending_ = nullptr; }
    bool fire()
    {
        if (!pending_)
            return false;
        std::exchange(pending_, nullptr)();
        return true;
    }

private:
    std::function<void()> pending_;
};

// Each tick of a held stepper runs its whole step, the calculation on
// another thread included, before the next tick can come.
TEST_F(WindowWorkTest, AHeldStepperStepsOnceEachTickWithItsWholeCalculation)
{
    form->show();
    form->H1->setText(QStringLiteral("1.5"));
    form->GCntr->setText(QStringLiteral("3350"));
    auto timer = std::make_unique<ManualTimer>();
    ManualTimer& clock = *timer;
    form->SpinButton1->setRepeatTimer(std::move(timer));
    QTest::mousePress(form->SpinButton1, Qt::LeftButton, {}, QPoint(10, 5));
    const char* centres[] = {"3350.10", "3350.20", "3350.30", "3350.40"};
    const char* lefts[] = {"3335.10", "3335.20", "3335.30", "3335.40"};
    for (int tick = 0; tick < 4; ++tick) {
        SCOPED_TRACE(tick);
        ASSERT_TRUE(clock.fire()) << "the repeat stopped";
        EXPECT_EQ(text("GCntr"), centres[tick]);
        EXPECT_EQ(text("Edit1"), lefts[tick]);
        EXPECT_EQ(state.CenterField, std::stod(centres[tick]));
    }
    QTest::mouseRelease(form->SpinButton1, Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(text("GCntr"), "3350.50") << "the release steps once more";
    EXPECT_FALSE(clock.fire());
}

} // namespace
} // namespace ravelle
