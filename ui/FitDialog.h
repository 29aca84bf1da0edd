#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "commands/CommandHost.h"
#include "commands/FitCommand.h"
#include "engine/fit/Fit.h"
#include "engine/ProgramState.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;

namespace ravelle {

class FitPlot;

// The Fit command: reads and checks the boxes as Calculate does; a missing
// parameter, a missing observed spectrum or an unusable value is reported
// through the host and nothing else happens. Otherwise the fit dialog runs
// modally; `calculate` is Calculate1Click, run after Keep.
void fitCommand(const ProgramState& state, CommandHost& host, QWidget* parent, const std::function<void()>& calculate);

// Lists the parameters in play with their values and a Vary box each, shows
// the observed points, runs the fit on a worker thread while it shows the
// iteration and the residual, and when the fit has ended shows the fitted
// trace and the residual in the picture and offers Keep, Revert and Copy
// (the results as a table). Nothing outside the dialog changes before Keep.
// The window never waits for the fit: it polls it, and closing the window
// only asks a running fit to stop.
class FitDialog : public QDialog {
    Q_OBJECT
public:
    // `fit` is runFit; tests may give another.
    FitDialog(FitProblem problem, CommandHost& host, std::function<void()> calculate, QWidget* parent = nullptr,
              FitJob::FitFunction fit = runFit);
    // Asks a running fit to stop, without waiting for it.
    ~FitDialog() override;

    // From Start until the fit's result is shown, also after a cancel.
    bool running() const { return job_ != nullptr; }
    const std::optional<FitResult>& fitResult() const { return result_; }

    const FitProblem& problem() const { return *problem_; }

    QLabel* introLabel() const { return intro_; }
    QScrollArea* rowTable() const { return table_; }
    QCheckBox* varyBox(std::string_view box) const;
    QLabel* fittedLabel(std::string_view box) const;
    QCheckBox* keepEqualBox() const { return keepEqual_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* messageLabel() const { return message_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* keepButton() const { return keep_; }
    QPushButton* revertButton() const { return revert_; }
    QPushButton* copyButton() const { return copy_; }
    FitPlot* plot() const { return plot_; }

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    void startFit();
    void cancelFit();
    void keepResult();
    void copyResult();
    void reject() override;

signals:
    // The worker has ended and its result is shown.
    void fitEnded();

private:
    enum class Stage { Ready, Running, Finished };

    void buildRows(QWidget* table);
    std::string captionOf(const FitParameter& parameter) const;
    void setStage(Stage stage);
    // Grows the window to show every row and text whole, as far as the
    // screen allows; the row table scrolls beyond that.
    void fitToContents(bool mayShrink = false);
    void setStatus(const QString& line);
    void poll();
    void showProgress(const FitProgress& progress);
    void showResult(FitResult result);
    std::string number(double value, int decimals) const;

    // Shared with the running fit, which only reads it; changed only while
    // no fit runs.
    std::shared_ptr<FitProblem> problem_;
    CommandHost& host_;
    std::function<void()> calculate_;
    FitJob::FitFunction fit_;
    std::unique_ptr<FitJob> job_;
    bool cancelling_ = false; // no more progress shown once Cancel is pressed
    bool shown_ = false;
    QTimer* poll_ = nullptr;
    std::optional<FitResult> result_;

    struct Row {
        QCheckBox* vary = nullptr;
        QLabel* fitted = nullptr;
        QLabel* uncertainty = nullptr;
    };
    std::map<std::string, Row, std::less<>> rows_;
    QLabel* intro_ = nullptr;
    QScrollArea* table_ = nullptr;
    QCheckBox* keepEqual_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* keep_ = nullptr;
    QPushButton* revert_ = nullptr;
    QPushButton* copy_ = nullptr;
    FitPlot* plot_ = nullptr;
};

} // namespace ravelle
