#include "ui/FitDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <utility>

#include "commands/Reporting.h"
#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

// Progress reaches the window at most this often; a fit may take thousands
// of steps a second.
constexpr auto kProgressInterval = std::chrono::milliseconds(40);

QString text(const std::string& value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

const char* captionOf(const FitParameter& parameter)
{
    switch (parameter.kind) {
    case FitParameterKind::Hydrogen:
        return "A(H) (G)";
    case FitParameterKind::Nitrogen:
        return "A(N) (G)";
    case FitParameterKind::Sigma:
        return "Sigma of the Gaussian line (G)";
    case FitParameterKind::Centre:
        return "Centre field (G)";
    case FitParameterKind::Scale:
        return "Mutual scale (Calc/Obs)";
    }
    return "";
}

} // namespace

void fitCommand(const ProgramState& state, CommandHost& host, QWidget* parent, const std::function<void()>& calculate)
{
    runReported(host, messages::kNoMemoryForCommand, [&] {
        FitSetup setup = prepareFit(state, host);
        if (!setup.problem) {
            host.showNotice(setup.notice);
            return;
        }
        FitDialog dialog(std::move(*setup.problem), host, calculate, parent);
        dialog.exec();
    });
}

FitDialog::FitDialog(FitProblem problem, CommandHost& host, std::function<void()> calculate, QWidget* parent)
    : QDialog(parent), problem_(std::move(problem)), host_(host), calculate_(std::move(calculate))
{
    setObjectName(QStringLiteral("FitDialog"));
    setWindowTitle(QStringLiteral("Fit"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    const double low = std::min(problem_.frameLow, problem_.frameHigh);
    const double high = std::max(problem_.frameLow, problem_.frameHigh);
    auto* intro = new QLabel(text("Fits the simulated trace to the " + std::to_string(problem_.field.size()) +
                                  " observed points between " + number(low, 2) + " and " + number(high, 2) +
                                  " G. Tick the parameters to vary, then press Start."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* table = new QWidget;
    buildRows(table);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(table);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(table->sizeHint().width() + 24);
    scroll->setMinimumHeight(std::min(table->sizeHint().height() + 4, 420));
    layout->addWidget(scroll, 1);

    keepEqual_ = new QCheckBox(QStringLiteral("Keep equal constants equal (equivalent nuclei)"), this);
    keepEqual_->setObjectName(QStringLiteral("KeepEqual"));
    keepEqual_->setChecked(problem_.keepEqualConstantsEqual);
    layout->addWidget(keepEqual_);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    layout->addWidget(status_);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("Message"));
    message_->setWordWrap(true);
    layout->addWidget(message_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const auto addButton = [&](const char* caption, const char* name) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    start_ = addButton("Start", "Start");
    cancel_ = addButton("Cancel", "Cancel");
    keep_ = addButton("Keep", "Keep");
    revert_ = addButton("Revert", "Revert");
    close_ = addButton("Close", "Close");
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &FitDialog::startFit);
    connect(cancel_, &QPushButton::clicked, this, &FitDialog::cancelFit);
    connect(keep_, &QPushButton::clicked, this, &FitDialog::keepResult);
    connect(revert_, &QPushButton::clicked, this, &FitDialog::reject);
    connect(close_, &QPushButton::clicked, this, &FitDialog::reject);
    setStage(Stage::Ready);
}

FitDialog::~FitDialog() { stopWorker(); }

void FitDialog::buildRows(QWidget* table)
{
    auto* grid = new QGridLayout(table);
    const char* headers[] = {"Box", "", "Now", "Vary", "Fitted", "Uncertainty"};
    for (int column = 0; column < 6; ++column) {
        auto* header = new QLabel(QString::fromLatin1(headers[column]), table);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        grid->addWidget(header, 0, column);
    }
    int line = 1;
    for (const FitParameter& parameter : problem_.parameters) {
        const QString name = text(parameter.box);
        grid->addWidget(new QLabel(name, table), line, 0);
        grid->addWidget(new QLabel(QString::fromLatin1(captionOf(parameter)), table), line, 1);
        grid->addWidget(new QLabel(text(formatGeneral(parameter.value, host_.decimalSeparator())), table), line, 2);
        Row row;
        row.vary = new QCheckBox(table);
        row.vary->setObjectName(QStringLiteral("Vary") + name);
        row.vary->setChecked(parameter.vary);
        row.fitted = new QLabel(table);
        row.fitted->setObjectName(QStringLiteral("Fitted") + name);
        row.uncertainty = new QLabel(table);
        grid->addWidget(row.vary, line, 3, Qt::AlignCenter);
        grid->addWidget(row.fitted, line, 4);
        grid->addWidget(row.uncertainty, line, 5);
        rows_.emplace(parameter.box, row);
        ++line;
    }
    grid->setColumnMinimumWidth(4, 90);
    grid->setColumnMinimumWidth(5, 90);
    grid->setRowStretch(line, 1);
}

QCheckBox* FitDialog::varyBox(std::string_view box) const
{
    const auto found = rows_.find(box);
    return found == rows_.end() ? nullptr : found->second.vary;
}

QLabel* FitDialog::fittedLabel(std::string_view box) const
{
    const auto found = rows_.find(box);
    return found == rows_.end() ? nullptr : found->second.fitted;
}

std::string FitDialog::number(double value, int decimals) const
{
    return formatFixed(value, decimals, host_.decimalSeparator());
}

void FitDialog::setStage(Stage stage)
{
    start_->setVisible(stage == Stage::Ready);
    close_->setVisible(stage == Stage::Ready);
    cancel_->setVisible(stage == Stage::Running);
    keep_->setVisible(stage == Stage::Finished);
    revert_->setVisible(stage == Stage::Finished);
    keepEqual_->setEnabled(stage == Stage::Ready);
    for (auto& [box, row] : rows_)
        row.vary->setEnabled(stage == Stage::Ready);
    if (stage != Stage::Finished) {
        for (auto& [box, row] : rows_) {
            row.fitted->clear();
            row.uncertainty->clear();
        }
    }
    if (stage == Stage::Ready)
        start_->setFocus();
}

void FitDialog::startFit()
{
    if (running())
        return;
    FitProblem problem = problem_;
    for (FitParameter& parameter : problem.parameters)
        parameter.vary = rows_.at(parameter.box).vary->isChecked();
    problem.keepEqualConstantsEqual = keepEqual_->isChecked();

    result_.reset();
    message_->clear();
    status_->setText(QStringLiteral("Fitting..."));
    cancelRequested_ = false;
    setStage(Stage::Running);
    // The fit works on its own copy; the boxes and the program state are
    // touched only here, on this thread, after it has ended.
    worker_ = std::thread([this, problem = std::move(problem)] {
        auto last = std::chrono::steady_clock::now() - kProgressInterval;
        FitResult result = runFit(problem, cancelRequested_, [&](const FitProgress& progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < kProgressInterval)
                return;
            last = now;
            QMetaObject::invokeMethod(this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)]() mutable { showResult(std::move(result)); },
            Qt::QueuedConnection);
    });
}

void FitDialog::cancelFit()
{
    cancelRequested_ = true;
    status_->setText(QStringLiteral("Cancelling..."));
}

void FitDialog::stopWorker()
{
    cancelRequested_ = true;
    if (worker_.joinable())
        worker_.join();
}

void FitDialog::showProgress(const FitProgress& progress)
{
    if (!running())
        return;
    std::string line = "Start " + std::to_string(progress.start) + ", iteration " +
                       std::to_string(progress.iteration) + ": RMS residual " + number(progress.rms, 5);
    if (progress.smoothing > 0)
        line += " (on the points smoothed over " + number(progress.smoothing, 2) + " G)";
    status_->setText(text(line));
}

void FitDialog::showResult(FitResult result)
{
    if (worker_.joinable())
        worker_.join();
    const std::string counts = std::to_string(result.pointCount) + " points, " +
                               std::to_string(result.parameterCount) + " parameters, " +
                               std::to_string(result.iterations) + " iterations";
    message_->setText(text(result.message));
    if (!result.converged()) {
        status_->setText(text(result.outcome == FitOutcome::Cancelled
                                  ? "Cancelled after " + std::to_string(result.iterations) + " iterations."
                                  : "The fit has stopped (" + counts + ")."));
        result_ = std::move(result);
        setStage(Stage::Ready);
        emit fitEnded();
        return;
    }
    status_->setText(text("RMS residual " + number(result.rmsBefore, 5) + " before, " + number(result.rmsAfter, 5) +
                          " after (" + counts + ")."));
    setStage(Stage::Finished);
    for (const FittedValue& value : result.values) {
        Row& row = rows_.at(value.box);
        if (!value.varied) {
            row.uncertainty->setText(QStringLiteral("fixed"));
            continue;
        }
        row.fitted->setText(text(fittedValueText(value, host_.decimalSeparator())));
        row.uncertainty->setText(std::isfinite(value.uncertainty)
                                     ? text("± " + number(value.uncertainty, decimalsForUncertainty(value.uncertainty)))
                                     : QStringLiteral("not determined"));
    }
    result_ = std::move(result);
    keep_->setFocus();
    emit fitEnded();
}

void FitDialog::keepResult()
{
    if (!result_ || !result_->converged())
        return;
    writeFittedValues(*result_, host_);
    accept();
    if (calculate_)
        calculate_();
}

void FitDialog::reject()
{
    // Closing the window while a fit runs cancels it; nothing is kept.
    stopWorker();
    QDialog::reject();
}

} // namespace ravelle
