#include "ui/FitDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "commands/Reporting.h"
#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "ui/FitPlot.h"

namespace ravelle {

namespace {

// The window looks at a running fit this often: often enough for progress
// that moves and a prompt end, seldom enough to cost nothing.
constexpr auto kPollInterval = std::chrono::milliseconds(40);

// The table shows at least this many rows however small the window is made.
constexpr int kLeastRowsShown = 3;

// A word-wrapped text that asks its layout for the height it needs at the
// width it has, so that a longer text makes room instead of being drawn
// over its neighbours. (A plain word-wrapped label reports a height for an
// assumed width, which the window does not grow to.)
class WrappedLabel : public QLabel {
public:
    explicit WrappedLabel(QWidget* parent) : QLabel(parent) { setWordWrap(true); }

    QSize minimumSizeHint() const override { return withNeededHeight(QLabel::minimumSizeHint()); }
    QSize sizeHint() const override { return withNeededHeight(QLabel::sizeHint()); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        laidOut_ = true;
        if (event->oldSize().width() != event->size().width())
            updateGeometry();
    }

private:
    QSize withNeededHeight(QSize size) const
    {
        if (laidOut_)
            size.setHeight(text().isEmpty() ? 0 : heightForWidth(width()));
        return size;
    }

    bool laidOut_ = false;
};

// The parameter rows, scrolled when there are more than the screen holds. It
// asks for the height of every row and the width of the widest, a vertical
// scroll bar included so that one appearing never hides a column.
class RowTable : public QScrollArea {
public:
    RowTable(QWidget* rows, int rowCount, QWidget* parent) : QScrollArea(parent), rowCount_(rowCount)
    {
        setWidget(rows);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

    QSize sizeHint() const override
    {
        const QSize rows = widget()->sizeHint();
        const int frame = 2 * frameWidth();
        return {rows.width() + frame + verticalScrollBar()->sizeHint().width(), rows.height() + frame};
    }

    QSize minimumSizeHint() const override
    {
        const QSize all = sizeHint();
        const int lines = rowCount_ + 1; // the header too
        const int shown = std::min(lines, kLeastRowsShown + 1);
        return {all.width(), 2 * frameWidth() + (all.height() - 2 * frameWidth()) * shown / lines};
    }

private:
    int rowCount_;
};

QString text(std::string_view value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

int percent(double share) { return static_cast<int>(std::clamp(share, 0.0, 1.0) * 100); }

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

FitDialog::FitDialog(FitProblem problem, CommandHost& host, std::function<void()> calculate, QWidget* parent,
                     FitJob::FitFunction fit)
    : QDialog(parent), problem_(std::make_shared<FitProblem>(std::move(problem))), host_(host),
      calculate_(std::move(calculate)), fit_(std::move(fit))
{
    setObjectName(QStringLiteral("FitDialog"));
    setWindowTitle(text(messages::kFitTitle));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    const double low = std::min(problem_->frameLow, problem_->frameHigh);
    const double high = std::max(problem_->frameLow, problem_->frameHigh);
    intro_ = new WrappedLabel(this);
    intro_->setObjectName(QStringLiteral("Intro"));
    intro_->setText(text(messages::fitIntro(problem_->field.size(), number(low, 2), number(high, 2))));
    layout->addWidget(intro_);

    plot_ = new FitPlot(this);
    plot_->showObserved(problem_->field, problem_->intensity);
    layout->addWidget(plot_, 2);

    auto* rows = new QWidget;
    buildRows(rows);
    table_ = new RowTable(rows, static_cast<int>(problem_->parameters.size()), this);
    table_->setObjectName(QStringLiteral("Rows"));
    layout->addWidget(table_, 1);

    keepEqual_ = new QCheckBox(text(messages::kFitKeepEqual), this);
    keepEqual_->setObjectName(QStringLiteral("KeepEqual"));
    keepEqual_->setChecked(problem_->keepEqualConstantsEqual);
    layout->addWidget(keepEqual_);

    status_ = new WrappedLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    layout->addWidget(status_);
    message_ = new WrappedLabel(this);
    message_->setObjectName(QStringLiteral("Message"));
    layout->addWidget(message_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const auto addButton = [&](std::string_view caption, const char* name) {
        auto* button = new QPushButton(text(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    start_ = addButton(messages::kFitStart, "Start");
    cancel_ = addButton(messages::kFitCancel, "Cancel");
    keep_ = addButton(messages::kFitKeep, "Keep");
    revert_ = addButton(messages::kFitRevert, "Revert");
    copy_ = addButton(messages::kFitCopy, "Copy");
    close_ = addButton(messages::kFitClose, "Close");
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &FitDialog::startFit);
    connect(cancel_, &QPushButton::clicked, this, &FitDialog::cancelFit);
    connect(keep_, &QPushButton::clicked, this, &FitDialog::keepResult);
    connect(revert_, &QPushButton::clicked, this, &FitDialog::reject);
    connect(close_, &QPushButton::clicked, this, &FitDialog::reject);
    connect(copy_, &QPushButton::clicked, this, &FitDialog::copyResult);
    poll_ = new QTimer(this);
    poll_->setInterval(kPollInterval);
    connect(poll_, &QTimer::timeout, this, &FitDialog::poll);
    setStage(Stage::Ready);
    fitToContents();
}

void FitDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Only now do the wrapped texts know their width, and with it their
    // height: the size from before was a guess.
    if (!shown_) {
        shown_ = true;
        fitToContents(true);
    }
}

void FitDialog::fitToContents(bool mayShrink)
{
    layout()->activate();
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    // Before it is first shown the window has a made-up size of its own.
    const QSize wanted = isVisible() && !mayShrink ? size().expandedTo(sizeHint()) : sizeHint();
    resize(wanted.boundedTo(available.size() - frame));
    // Kept on the screen when it has grown past its lower edge.
    if (isVisible() && frameGeometry().bottom() > available.bottom())
        move(x(), std::max(available.top(), available.bottom() + 1 - frameGeometry().height()));
}

FitDialog::~FitDialog() = default; // dropping the job asks a running fit to stop

void FitDialog::buildRows(QWidget* table)
{
    auto* grid = new QGridLayout(table);
    for (int column = 0; column < 6; ++column) {
        auto* header = new QLabel(text(messages::kFitColumnHeaders[column]), table);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        grid->addWidget(header, 0, column);
    }
    int line = 1;
    for (const FitParameter& parameter : problem_->parameters) {
        const QString name = text(parameter.box);
        grid->addWidget(new QLabel(name, table), line, 0);
        grid->addWidget(new QLabel(text(captionOf(parameter)), table), line, 1);
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
    copy_->setVisible(stage == Stage::Finished);
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
    // No fit reads the problem now: the last one has handed in its result.
    for (FitParameter& parameter : problem_->parameters)
        parameter.vary = rows_.at(parameter.box).vary->isChecked();
    problem_->keepEqualConstantsEqual = keepEqual_->isChecked();

    result_.reset();
    message_->clear();
    cancelling_ = false;
    setStatus(text(messages::kFitFitting));
    setStage(Stage::Running);
    // The boxes and the program state are touched only on this thread, after
    // the fit has ended.
    job_ = std::make_unique<FitJob>(problem_, fit_);
    poll_->start();
}

void FitDialog::cancelFit()
{
    if (!running())
        return;
    job_->cancel();
    cancelling_ = true;
    setStatus(text(messages::kFitCancelling));
}

void FitDialog::setStatus(const QString& line)
{
    status_->setText(line);
    fitToContents();
}

void FitDialog::poll()
{
    if (!running())
        return;
    if (auto progress = job_->takeProgress(); progress && !cancelling_)
        showProgress(*progress);
    if (auto result = job_->takeResult()) {
        poll_->stop();
        job_.reset();
        showResult(std::move(*result));
    }
}

void FitDialog::showProgress(const FitProgress& progress)
{
    std::string line;
    switch (progress.phase) {
    case FitPhase::Sorting:
        line = messages::fitSorting(percent(progress.done));
        break;
    case FitPhase::Averaging:
        line = messages::fitAveraging(percent(progress.done));
        break;
    case FitPhase::Starting:
        line = messages::fitStarting(percent(progress.done));
        break;
    case FitPhase::Smoothed:
    case FitPhase::Points:
        line = messages::fitStep(progress.start, progress.iteration, number(progress.rms, 5));
        if (progress.smoothing > 0)
            line += messages::fitSmoothedOver(number(progress.smoothing, 2));
        break;
    case FitPhase::AllPoints:
        line = messages::fitLastSteps(progress.iteration, number(progress.rms, 5), percent(progress.done));
        break;
    case FitPhase::Uncertainties:
        line = messages::kFitUncertainties;
        break;
    }
    setStatus(text(line));
}

void FitDialog::showResult(FitResult result)
{
    const std::string counts = messages::fitCounts(result.pointCount, result.parameterCount, result.iterations);
    message_->setText(text(result.message));
    if (!result.converged()) {
        status_->setText(text(result.outcome == FitOutcome::Cancelled
                                  ? messages::fitCancelledAfter(result.iterations)
                                  : messages::fitStopped(counts)));
        result_ = std::move(result);
        setStage(Stage::Ready);
        fitToContents();
        emit fitEnded();
        return;
    }
    std::string status = messages::fitResiduals(number(result.rmsBefore, 5), number(result.rmsAfter, 5), counts);
    if (result.gValue)
        status += messages::fitGValue(number(*result.gValue, decimalsForUncertainty(result.gUncertainty, 5)),
                                      number(result.gUncertainty, decimalsForUncertainty(result.gUncertainty, 5)));
    status_->setText(text(status));
    setStage(Stage::Finished);
    plot_->showTrace(result.trace);
    for (const FittedValue& value : result.values) {
        Row& row = rows_.at(value.box);
        if (!value.varied) {
            row.uncertainty->setText(text(messages::kFitFixed));
            continue;
        }
        row.fitted->setText(text(fittedValueText(value, host_.decimalSeparator())));
        row.uncertainty->setText(std::isfinite(value.uncertainty)
                                     ? text(messages::fitUncertainty(
                                           number(value.uncertainty, decimalsForUncertainty(value.uncertainty))))
                                     : text(messages::kFitNotDetermined));
    }
    result_ = std::move(result);
    keep_->setFocus();
    fitToContents();
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

void FitDialog::copyResult()
{
    if (result_ && result_->converged())
        QGuiApplication::clipboard()->setText(text(fitReportText(*result_, host_.decimalSeparator())));
}

std::string FitDialog::captionOf(const FitParameter& parameter) const
{
    switch (parameter.kind) {
    case FitParameterKind::Hydrogen:
        return std::string(messages::kFitHydrogenCaption);
    case FitParameterKind::Nitrogen:
        return std::string(messages::kFitNitrogenCaption);
    case FitParameterKind::Sigma:
        return std::string(messages::kFitSigmaCaption);
    case FitParameterKind::Centre:
        return std::string(messages::kFitCentreCaption);
    case FitParameterKind::Scale:
        return std::string(messages::kFitScaleCaption);
    case FitParameterKind::Gamma:
        return std::string(messages::kFitGammaCaption);
    case FitParameterKind::Offset:
        return std::string(messages::kFitOffsetCaption);
    case FitParameterKind::Slope:
        return std::string(messages::kFitSlopeCaption);
    case FitParameterKind::Weight:
        return std::string(messages::kFitWeightCaption);
    case FitParameterKind::Shift:
        return std::string(messages::kFitShiftCaption);
    case FitParameterKind::SigmaB:
    case FitParameterKind::GammaB:
        return std::string(messages::kFitLinearCaption);
    case FitParameterKind::SigmaC:
    case FitParameterKind::GammaC:
        return std::string(messages::kFitQuadraticCaption);
    case FitParameterKind::Coupling:
        break;
    }
    const auto& species = problem_->model.species;
    const auto s = static_cast<std::size_t>(parameter.species);
    if (s < species.size() && parameter.group >= 0 && static_cast<std::size_t>(parameter.group) < species[s].groups.size()) {
        const model::NucleusGroup& group = species[s].groups[static_cast<std::size_t>(parameter.group)];
        return messages::fitGroupCaption(group.isotope, group.count, group.naturalAbundance);
    }
    return messages::fitGroupCaption("?", 1, false);
}

void FitDialog::reject()
{
    // Closing the window while a fit runs cancels it; nothing is kept. The
    // job stays until the fit hands in its result, so that the problem is
    // not changed under it by another Start.
    if (running())
        job_->cancel();
    QDialog::reject();
}

} // namespace ravelle
