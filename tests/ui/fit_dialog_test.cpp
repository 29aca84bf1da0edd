#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QChartView>
#include <QClipboard>
#include <QWheelEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "commands/FitCommand.h"
#include "engine/fit/Fit.h"
#include "engine/Messages.h"
#include "engine/ProgramState.h"
#include "tests/support/FakeHost.h"
#include "tests/support/SyntheticSpectra.h"
#include "commands/Commands.h"
#include "ui/FitDialog.h"
#include "ui/FitPlot.h"
#include "ui/MainWindow.h"

namespace ravelle {
namespace {

// The example spectrum imported as the program imports it, and the boxes a
// user fills in by eye: N1 10.0, H1 4.0, H2 = H3 3.3, H4 = H5 1.0, sigma
// 0.15, the centre 0.5 G off.
class FitDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(directory.isValid());
        Initialise(state, directory.path().toStdString());
        host.openAnswers.push_back(RAVELLE_EXAMPLE_DAT);
        importCommand(state, host);
        ASSERT_TRUE(host.errors.empty());
        host.setBoxes({{"GCntr", "3348.0"}, {"N1", "10.0"}, {"H1", "4.0"}, {"H2", "3.3"}, {"H3", "3.3"},
                       {"H4", "1.0"}, {"H5", "1.0"}, {"Sigma", "0.15"}});
        boxesBefore = host.boxes;
    }

    FitProblem problem()
    {
        FitSetup setup = prepareFit(state, host);
        EXPECT_TRUE(setup.problem) << setup.notice;
        return std::move(*setup.problem);
    }

    // Runs the fit to its end, as the Start button does.
    void runToEnd(FitDialog& dialog)
    {
        QSignalSpy ended(&dialog, &FitDialog::fitEnded);
        dialog.startButton()->click();
        EXPECT_TRUE(dialog.cancelButton()->isVisibleTo(&dialog));
        ASSERT_TRUE(ended.wait(60000));
        EXPECT_FALSE(dialog.running());
    }

    QTemporaryDir directory;
    ProgramState state;
    testing::FakeHost host{state};
    std::map<std::string, std::string, std::less<>> boxesBefore;
    int calculations = 0;
    std::function<void()> calculate = [this] {
        ++calculations;
        calculateCommand(state, host);
    };
};

TEST_F(FitDialogTest, KeepWritesTheFittedValuesAndCalculates)
{
    FitDialog dialog(problem(), host, calculate);
    for (const char* box : {"H1", "H2", "H3", "H4", "H5", "N1", "Sigma", "GCntr", "Scl"}) {
        ASSERT_NE(dialog.varyBox(box), nullptr) << box;
        EXPECT_TRUE(dialog.varyBox(box)->isChecked()) << box;
    }
    EXPECT_EQ(dialog.varyBox("G"), nullptr);
    EXPECT_EQ(dialog.varyBox("NoPnts"), nullptr);

    runToEnd(dialog);
    ASSERT_TRUE(dialog.fitResult() && dialog.fitResult()->converged()) << dialog.messageLabel()->text().toStdString();
    EXPECT_TRUE(dialog.keepButton()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.revertButton()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.startButton()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.statusLabel()->text().contains("before")) << dialog.statusLabel()->text().toStdString();
    EXPECT_FALSE(dialog.fittedLabel("N1")->text().isEmpty());
    EXPECT_EQ(host.boxes, boxesBefore) << "nothing changes before Keep";
    EXPECT_EQ(calculations, 0);

    dialog.keepButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(calculations, 1);
    EXPECT_TRUE(host.errors.empty());
    // The constants the example was made from, to the decimals written.
    const auto near = [&](const char* box, double value, double tolerance) {
        EXPECT_NEAR(std::stod(host.boxText(box)), value, tolerance) << box << " " << host.boxText(box);
    };
    near("N1", 10.32, 0.01);
    near("H1", 3.97, 0.01);
    near("H2", 3.39, 0.01);
    near("H3", 3.39, 0.01);
    near("H4", 1.09, 0.01);
    near("H5", 1.09, 0.01);
    near("GCntr", 3348.20, 0.01);
    EXPECT_EQ(host.boxText("H2"), host.boxText("H3"));
    EXPECT_EQ(host.boxText("GCntr").size(), std::string("3348.20").size()) << "Calculate writes it back";
    EXPECT_NEAR(state.CouplingN[1], 10.32, 0.01);
    EXPECT_EQ(state.CouplingH[2], state.CouplingH[3]);
}

// The plot shows the observed points from the start and the fitted trace
// and the residual after the fit; the wheel zooms about the pointer, "Whole
// view" goes back; Copy gives the results as a table.
TEST_F(FitDialogTest, ThePlotShowsTheFitAndCopyGivesTheTable)
{
    FitDialog dialog(problem(), host, calculate);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    FitPlot& plot = *dialog.plot();
    EXPECT_GT(plot.drawnPoints(0), 100);
    EXPECT_EQ(plot.drawnPoints(1), 0);
    EXPECT_FALSE(dialog.copyButton()->isEnabled() && dialog.copyButton()->isVisibleTo(&dialog));

    runToEnd(dialog);
    ASSERT_TRUE(dialog.fitResult() && dialog.fitResult()->converged());
    QCoreApplication::processEvents();
    EXPECT_GT(plot.drawnPoints(1), 100);
    EXPECT_GT(plot.drawnPoints(2), 100);
    EXPECT_TRUE(plot.residualView()->isVisibleTo(&dialog));
    if (const char* shots = std::getenv("RAVELLE_FIT_DIALOG_SHOTS")) {
        dialog.resize(std::max(dialog.width(), 760), std::max(dialog.height(), 900));
        QCoreApplication::processEvents();
        dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/fit_dialog_example.png"));
    }

    const auto [low, high] = plot.wholeRange();
    EXPECT_EQ(plot.fieldRange(), plot.wholeRange());
    QWidget* viewport = plot.mainView()->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &wheel);
    const auto [zoomedLow, zoomedHigh] = plot.fieldRange();
    EXPECT_GT(zoomedLow, low);
    EXPECT_LT(zoomedHigh, high);
    EXPECT_NEAR(zoomedHigh - zoomedLow, 0.64 * (high - low), 0.01 * (high - low));
    plot.wholeViewButton()->click();
    EXPECT_EQ(plot.fieldRange(), plot.wholeRange());

    ASSERT_TRUE(dialog.copyButton()->isVisibleTo(&dialog));
    dialog.copyButton()->click();
    const std::string copied = QGuiApplication::clipboard()->text().toStdString();
    EXPECT_EQ(copied, fitReportText(*dialog.fitResult(), host.decimalSeparator()));
    for (const char* part : {"N1\t", "GCntr\t", "Scl\t", "RMS residual before\t", "Points\t", "Iterations\t"})
        EXPECT_NE(copied.find(part), std::string::npos) << part;
    EXPECT_EQ(host.boxes, boxesBefore) << "Copy changes nothing";
}

TEST_F(FitDialogTest, RevertAndCloseChangeNothing)
{
    {
        FitDialog dialog(problem(), host, calculate);
        runToEnd(dialog);
        dialog.revertButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    {
        FitDialog dialog(problem(), host, calculate);
        dialog.closeButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(host.boxes, boxesBefore);
    EXPECT_EQ(calculations, 0);
}

TEST_F(FitDialogTest, UntickedParametersStayAsTheyAre)
{
    FitDialog dialog(problem(), host, calculate);
    dialog.varyBox("Sigma")->setChecked(false);
    dialog.varyBox("H1")->setChecked(false);
    runToEnd(dialog);
    ASSERT_TRUE(dialog.fitResult() && dialog.fitResult()->converged());
    for (const FittedValue& value : dialog.fitResult()->values) {
        if (value.box == "Sigma" || value.box == "H1") {
            EXPECT_FALSE(value.varied);
            EXPECT_EQ(value.value, value.start);
        }
    }
    EXPECT_TRUE(dialog.fittedLabel("Sigma")->text().isEmpty());
    dialog.keepButton()->click();
    EXPECT_EQ(host.boxText("Sigma"), "0.15");
    EXPECT_EQ(host.boxText("H1"), "4.0");
}

// A fit that takes long: many separate lines over many points.
FitProblem longProblem()
{
    FitProblem problem;
    problem.displayRange = 60;
    problem.points = 2000;
    problem.frameLow = 3320;
    problem.frameHigh = 3380;
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 0.3);
    for (int i = 0; i < 30000; ++i) {
        problem.field.push_back(3320 + 0.002 * i);
        problem.intensity.push_back(noise(random));
    }
    for (int k = 1; k <= 10; ++k) {
        std::string box = "H";
        box += std::to_string(k);
        problem.parameters.push_back({FitParameterKind::Hydrogen, box, 0.3 + 0.41 * k, true});
    }
    problem.parameters.push_back({FitParameterKind::Nitrogen, "N1", 7.7, true});
    problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", 0.2, true});
    problem.parameters.push_back({FitParameterKind::Centre, "GCntr", 3350, true});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", 1, true});
    return problem;
}

TEST_F(FitDialogTest, CancelStopsALongFitAndChangesNothing)
{
    FitDialog dialog(longProblem(), host, calculate);
    QSignalSpy ended(&dialog, &FitDialog::fitEnded);
    dialog.startButton()->click();
    EXPECT_FALSE(dialog.varyBox("H1")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.statusLabel()->text().contains("iteration"); }, 60000));
    EXPECT_TRUE(dialog.statusLabel()->text().contains("RMS residual"));
    dialog.cancelButton()->click();
    ASSERT_TRUE(ended.wait(60000));
    ASSERT_TRUE(dialog.fitResult());
    EXPECT_EQ(dialog.fitResult()->outcome, FitOutcome::Cancelled);
    EXPECT_TRUE(dialog.statusLabel()->text().startsWith("Cancelled after"));
    EXPECT_TRUE(dialog.messageLabel()->text().contains("nothing has changed"));
    EXPECT_TRUE(dialog.startButton()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.varyBox("H1")->isEnabled());
    EXPECT_EQ(host.boxes, boxesBefore);
    EXPECT_EQ(calculations, 0);
}

// A fit that does not stop when asked: it reports, then holds until the
// test lets it go, and reports again. What a fit busy in a long step does.
class HeldFit {
public:
    explicit HeldFit(FitProgress first = {FitPhase::Points, 1, 1, 0.0, 0.5, 0.0}) : first_(first) {}

    FitJob::FitFunction function()
    {
        return [state = state_, first = first_](const FitProblem& problem, const std::atomic<bool>& cancel,
                                                const FitProgressCallback& progress) {
            progress(first);
            std::unique_lock lock(state->mutex);
            state->entered = true;
            state->changed.notify_all();
            // A dialog that waited for the fit would wait for ever; the
            // generous bound turns that into a failure instead of a hang.
            state->changed.wait_for(lock, std::chrono::seconds(30), [&] { return state->released; });
            lock.unlock();
            progress({FitPhase::Points, 2, 1, 0.0, 0.25, 0.0});
            FitResult result;
            result.outcome = cancel ? FitOutcome::Cancelled : FitOutcome::Converged;
            for (const FitParameter& parameter : problem.parameters)
                result.values.push_back({parameter.box, parameter.kind, parameter.vary, parameter.value,
                                         parameter.value + 1, 0.1});
            return result;
        };
    }

    bool entered()
    {
        const std::lock_guard lock(state_->mutex);
        return state_->entered;
    }

    void release()
    {
        const std::lock_guard lock(state_->mutex);
        state_->released = true;
        state_->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
    };
    FitProgress first_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_F(FitDialogTest, ClosingTheWindowDuringAFitNeverWaitsForIt)
{
    HeldFit held;
    auto dialog = std::make_unique<FitDialog>(problem(), host, calculate, nullptr, held.function());
    dialog->startButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.entered(); }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->statusLabel()->text().contains("iteration 1"); }, 60000));

    // Escape and the end of the dialog return while the fit is still held:
    // neither waits for it.
    dialog->show();
    // Escape as a user presses it, on the active window.
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get(), 60000));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    dialog.reset();
    EXPECT_EQ(FitJob::running(), 1);

    // Its late report and result find no dialog, and change nothing.
    held.release();
    ASSERT_TRUE(QTest::qWaitFor([] { return FitJob::running() == 0; }, 60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(host.boxes, boxesBefore);
    EXPECT_EQ(calculations, 0);
}

// What the fit reports is shown while it runs: the phase, the share done,
// the iteration and the residual.
TEST_F(FitDialogTest, ProgressShowsThePhaseAndHowFarItHasGot)
{
    using P = FitPhase;
    struct Row {
        FitProgress progress;
        const char* status;
    };
    const Row rows[] = {
        {{P::Sorting, 0, 1, 0.0, 0.0, 0.4}, "Putting the observed points in field order: 40 %"},
        {{P::Averaging, 0, 1, 0.0, 0.0, 1.0}, "Averaging neighbouring points of the long spectrum: 100 %"},
        {{P::Starting, 0, 1, 0.0, 0.0, 0.125}, "Comparing the starting curve with the observed points: 12 %"},
        {{P::Smoothed, 4, 2, 1.5, 0.0123456, 0.0},
         "Start 2, iteration 4: RMS residual 0.01235 (on the points smoothed over 1.50 G)"},
        {{P::Points, 9, 1, 0.0, 0.02, 0.0}, "Start 1, iteration 9: RMS residual 0.02000"},
        {{P::AllPoints, 12, 1, 0.0, 0.02, 0.5},
         "Last steps on every point, iteration 12: RMS residual 0.02000 (50 %)"},
        {{P::Uncertainties, 12, 1, 0.0, 0.02, 0.0}, "Working out the uncertainties..."},
    };
    for (const Row& row : rows) {
        HeldFit held(row.progress);
        FitDialog dialog(problem(), host, calculate, nullptr, held.function());
        dialog.startButton()->click();
        EXPECT_EQ(dialog.statusLabel()->text(), "Fitting...");
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.statusLabel()->text() == row.status; }, 60000))
            << dialog.statusLabel()->text().toStdString();
        held.release();
        dialog.cancelButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.running(); }, 60000));
    }
}

TEST_F(FitDialogTest, AFitThatEndsAfterCancelIsShownAsCancelled)
{
    HeldFit held;
    FitDialog dialog(problem(), host, calculate, nullptr, held.function());
    QSignalSpy ended(&dialog, &FitDialog::fitEnded);
    dialog.startButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.entered(); }, 60000));
    dialog.cancelButton()->click();
    EXPECT_EQ(dialog.statusLabel()->text(), "Cancelling...");
    EXPECT_TRUE(dialog.running());
    // Start does nothing while the cancelled fit still has the problem.
    dialog.startFit();
    EXPECT_EQ(FitJob::running(), 1);

    held.release();
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_FALSE(dialog.running());
    ASSERT_TRUE(dialog.fitResult());
    EXPECT_EQ(dialog.fitResult()->outcome, FitOutcome::Cancelled);
    EXPECT_TRUE(dialog.statusLabel()->text().startsWith("Cancelled after"));
    EXPECT_TRUE(dialog.startButton()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.keepButton()->isVisibleTo(&dialog));
    EXPECT_EQ(host.boxes, boxesBefore);
}

TEST_F(FitDialogTest, MissingThingsAreNoticedWithoutADialog)
{
    // A dialog opened by mistake would block; close it so the test fails instead.
    QTimer guard;
    guard.setInterval(200);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start();

    host.setBoxes({{"H1", "H1"}, {"N1", "N1"}});
    fitCommand(state, host, nullptr, calculate);
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices.back(), messages::kMissingParameters);

    host.setBoxes({{"H1", "4.0"}, {"H2", "3,3"}});
    fitCommand(state, host, nullptr, calculate);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors.back(), messages::notAReal("3,3"));

    ProgramState empty;
    Initialise(empty, directory.path().toStdString());
    testing::FakeHost fresh(empty);
    fresh.setBoxes({{"H1", "4.0"}});
    fitCommand(empty, fresh, nullptr, calculate);
    ASSERT_EQ(fresh.notices.size(), 1u);
    EXPECT_EQ(fresh.notices.back(), messages::kFitNeedsObservedSpectrum);
    EXPECT_EQ(calculations, 0);
}

// ---------------------------------------------------------------------------
// Layout: every row whole, nothing drawn over anything, at any row count and
// message length.

// A problem with `rows` parameters: the constants first, then Sigma, GCntr
// and Scl once there are four or more.
FitProblem problemWithRows(int rows)
{
    FitProblem problem;
    problem.displayRange = 30;
    problem.points = 500;
    problem.frameLow = 3335;
    problem.frameHigh = 3365;
    for (int i = 0; i < 200; ++i) {
        problem.field.push_back(3335 + 0.15 * i);
        problem.intensity.push_back(std::sin(0.3 * i));
    }
    const int constants = rows >= 4 ? rows - 3 : rows;
    for (int k = 1; k <= constants; ++k) {
        const bool hydrogen = k <= 15;
        if (k > 21) { // beyond the boxes: Model-window groups of a second species, with long names
            problem.parameters.push_back({FitParameterKind::Coupling,
                                          "Species 2, group " + std::to_string(k - 21) + ", coupling", 0.25 * k,
                                          true, 1, k - 22});
            continue;
        }
        const auto number = static_cast<std::size_t>(hydrogen ? k : k - 15);
        const std::string box = testing::numbered(hydrogen ? "H" : "N", number);
        problem.parameters.push_back(
            {hydrogen ? FitParameterKind::Hydrogen : FitParameterKind::Nitrogen, box, 0.25 * k, true});
    }
    if (rows >= 4) {
        problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", 0.15, true});
        problem.parameters.push_back({FitParameterKind::Centre, "GCntr", 3350.0, true});
        problem.parameters.push_back({FitParameterKind::Scale, "Scl", 1.0, true});
    }
    return problem;
}

// A fit that ends at once with the given message and every varied value
// known to a few thousandths, or not determined.
FitJob::FitFunction endsWith(std::string message)
{
    return [message](const FitProblem& problem, const std::atomic<bool>&, const FitProgressCallback&) {
        FitResult result;
        result.outcome = FitOutcome::Converged;
        result.message = message;
        result.pointCount = static_cast<int>(problem.field.size());
        result.parameterCount = static_cast<int>(problem.parameters.size());
        for (std::size_t k = 0; k < problem.parameters.size(); ++k) {
            const FitParameter& parameter = problem.parameters[k];
            const double uncertainty = k % 3 == 2 ? std::numeric_limits<double>::infinity() : 0.0034;
            result.values.push_back({parameter.box, parameter.kind, true, parameter.value,
                                     parameter.value * 1.0123456, uncertainty});
        }
        return result;
    };
}

QRect inDialog(const QWidget* widget, const QWidget* dialog)
{
    return QRect(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
}

// What must hold for any dialog: inside the screen, every part inside the
// dialog and clear of the others, every text at its full height, and the
// table's rows whole unless the screen is too small for them all.
void expectClearLayout(const FitDialog& dialog, const std::string& label, bool shrunkByHand = false)
{
    SCOPED_TRACE(label);
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_LE(dialog.frameGeometry().height(), screen.height());
    EXPECT_LE(dialog.frameGeometry().width(), screen.width());

    std::vector<const QWidget*> parts{dialog.introLabel(), dialog.rowTable(), dialog.keepEqualBox(),
                                      dialog.statusLabel(), dialog.messageLabel()};
    for (const QPushButton* button : {dialog.startButton(), dialog.cancelButton(), dialog.keepButton(),
                                      dialog.revertButton(), dialog.closeButton()})
        if (button->isVisible())
            parts.push_back(button);
    for (std::size_t a = 0; a < parts.size(); ++a) {
        const QRect rect = inDialog(parts[a], &dialog);
        EXPECT_TRUE(dialog.rect().contains(rect)) << parts[a]->objectName().toStdString();
        for (std::size_t b = a + 1; b < parts.size(); ++b)
            EXPECT_FALSE(rect.intersects(inDialog(parts[b], &dialog)))
                << parts[a]->objectName().toStdString() << " over " << parts[b]->objectName().toStdString();
    }
    for (const QLabel* text : {dialog.introLabel(), dialog.statusLabel(), dialog.messageLabel()}) {
        if (!text->text().isEmpty()) {
            EXPECT_GE(text->height(), text->heightForWidth(text->width())) << text->objectName().toStdString();
        }
    }
    EXPECT_GE(dialog.keepEqualBox()->height(), dialog.keepEqualBox()->sizeHint().height());

    // Every row inside the viewport, or a scroll bar to reach it while the
    // dialog is as tall as the screen lets it be.
    const QScrollArea* table = dialog.rowTable();
    const QRect viewport = table->viewport()->rect();
    bool allWhole = true;
    for (const FitParameter& parameter : dialog.problem().parameters) {
        const QWidget* row = dialog.varyBox(parameter.box);
        const QRect rect(row->mapTo(table->viewport(), QPoint(0, 0)), row->size());
        allWhole = allWhole && viewport.contains(rect);
    }
    if (!allWhole) {
        EXPECT_TRUE(table->verticalScrollBar()->isVisible());
        if (!shrunkByHand) {
            EXPECT_GE(dialog.frameGeometry().height(), screen.height() * 9 / 10);
        }
    }
    // The header and at least three rows, or all there are.
    const int lines = static_cast<int>(dialog.problem().parameters.size()) + 1;
    EXPECT_GE(table->viewport()->height(), table->widget()->sizeHint().height() * std::min(lines, 4) / lines);
}

TEST_F(FitDialogTest, EveryRowAndTextIsShownWholeAtAnySize)
{
    const std::string longMessage =
        "The observed spectrum does not determine H6, H7, H8, H9, H10, H11, H12, H13, H14, H15, so their "
        "uncertainties are unknown: a splitting hidden in the line width, a constant of 0 or two constants that "
        "can trade places leave them free. Fix some of them, or keep equal constants equal.";
    const char* shots = std::getenv("RAVELLE_FIT_DIALOG_SHOTS");
    for (const int rows : {1, 4, 24, 25, 60}) {
        for (const std::string& message : {std::string(), longMessage}) {
            const std::string label = std::to_string(rows) + " rows" + (message.empty() ? "" : ", long message");
            FitDialog dialog(problemWithRows(rows), host, calculate, nullptr, endsWith(message));
            dialog.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            expectClearLayout(dialog, label + ", before the fit");
            if (shots && message.empty())
                dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/fit_dialog_%1_rows.png").arg(rows));

            runToEnd(dialog);
            EXPECT_EQ(dialog.messageLabel()->text().toStdString(), message);
            EXPECT_EQ(dialog.plot()->drawnPoints(0), 200) << label << ": a fit without a trace keeps the points";
            QCoreApplication::processEvents();
            expectClearLayout(dialog, label + ", after the fit");
            if (shots)
                dialog.grab().save(QString::fromLocal8Bit(shots) +
                                   QStringLiteral("/fit_dialog_%1_rows_%2.png")
                                       .arg(rows)
                                       .arg(message.empty() ? "fitted" : "long_message"));

            // Made as small as it goes: the table scrolls, nothing overlaps.
            dialog.resize(dialog.minimumSize());
            QCoreApplication::processEvents();
            expectClearLayout(dialog, label + ", made small", true);
            if (shots && rows == 25 && !message.empty())
                dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/fit_dialog_25_rows_small.png"));
        }
    }
}

TEST(FitMenuTest, FitIsAMenuBarCommandBetweenFileAndHelp)
{
    ProgramState state;
    Initialise(state, "/tmp");
    TForm1 form(state, QStringLiteral("Ravelle2"));
    QStringList bar;
    for (QAction* action : form.menuBar()->actions())
        bar << action->text();
    EXPECT_EQ(bar, (QStringList{"File", "Model", "Fit", "Help"}));
    QAction* fit = form.menuBar()->actions().at(2);
    EXPECT_EQ(fit->menu(), nullptr);
    EXPECT_TRUE(fit->shortcut().isEmpty());
}

} // namespace
} // namespace ravelle
