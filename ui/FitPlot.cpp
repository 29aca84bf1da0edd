#include "ui/FitPlot.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdint>

#include "engine/Messages.h"

namespace ravelle {

namespace {

// A wheel step (120 eighths of a degree) narrows the field range by this factor.
constexpr double kWheelZoom = 0.8;
// Each trace is drawn from at most two points per this many pixels.
constexpr int kPixelsPerColumn = 1;
// The least columns, for a plot not laid out yet.
constexpr int kLeastColumns = 400;
// Observed points before a fit are kept as the extremes of this many columns.
constexpr std::size_t kObservedColumns = 4000;
constexpr double kMargin = 0.05;

const QColor kObservedColour(0, 255, 255); // the main plot's aqua
const QColor kFittedColour(255, 0, 0);     // and its red
const QColor kResidualColour(200, 200, 200);

QString text(std::string_view value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// A chart view whose wheel zooms the field axis about the pointer; dragging
// a box zooms into it (the view's rubber band), the right button zooms out.
class ZoomView : public QChartView {
public:
    ZoomView(QChart* chart, std::function<void(double factor, double about)> zoom, QWidget* parent)
        : QChartView(chart, parent), zoom_(std::move(zoom))
    {
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing, false);
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps == 0.0) {
            event->ignore();
            return;
        }
        const QPointF at = chart()->mapToValue(chart()->mapFromScene(mapToScene(event->position().toPoint())));
        zoom_(std::pow(kWheelZoom, steps), at.x());
        event->accept();
    }

private:
    std::function<void(double, double)> zoom_;
};

QValueAxis* addAxis(QChart* chart, QAbstractSeries* series, Qt::Alignment alignment, const QString& title)
{
    auto* axis = new QValueAxis(chart);
    axis->setTitleText(title);
    chart->addAxis(axis, alignment);
    series->attachAxis(axis);
    return axis;
}

QLineSeries* addSeries(QChart* chart, const QString& name, const QColor& colour)
{
    auto* series = new QLineSeries(chart);
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(1.0);
    series->setPen(pen);
    chart->addSeries(series);
    return series;
}

QChart* darkChart()
{
    auto* chart = new QChart;
    chart->setTheme(QChart::ChartThemeDark);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    return chart;
}

// The points of [begin, end) a line is drawn from: all of them when few,
// otherwise the lowest and highest of each column, in field order.
QList<QPointF> columnPoints(const std::vector<double>& field, const std::vector<double>& value, std::size_t begin,
                            std::size_t end, int columns)
{
    QList<QPointF> points;
    if (value.empty())
        return points;
    const std::size_t count = end - begin;
    const auto wanted = static_cast<std::size_t>(std::max(columns, 1));
    if (count <= 2 * wanted) {
        for (std::size_t i = begin; i < end; ++i)
            points.append({field[i], value[i]});
        return points;
    }
    for (std::size_t c = 0; c < wanted; ++c) {
        const std::size_t first = begin + count * c / wanted;
        const std::size_t last = begin + count * (c + 1) / wanted;
        if (first == last)
            continue;
        const auto from = value.begin() + static_cast<std::ptrdiff_t>(first);
        const auto to = value.begin() + static_cast<std::ptrdiff_t>(last);
        const auto [low, high] = std::minmax_element(from, to);
        auto a = static_cast<std::size_t>(low - value.begin());
        auto b = static_cast<std::size_t>(high - value.begin());
        if (a > b)
            std::swap(a, b);
        points.append({field[a], value[a]});
        if (a != b)
            points.append({field[b], value[b]});
    }
    return points;
}

std::pair<double, double> extremes(const std::vector<double>& a, const std::vector<double>& b, std::size_t begin,
                                   std::size_t end)
{
    double low = INFINITY, high = -INFINITY;
    for (const auto* values : {&a, &b}) {
        if (values->empty())
            continue;
        for (std::size_t i = begin; i < end; ++i) {
            low = std::min(low, (*values)[i]);
            high = std::max(high, (*values)[i]);
        }
    }
    if (!(low <= high))
        return {-1.0, 1.0};
    const double margin = std::max(high - low, 1e-12) * kMargin;
    return {low - margin, high + margin};
}

} // namespace

FitPlot::FitPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FitPlot"));
    main_ = darkChart();
    observedSeries_ = addSeries(main_, text(messages::kFitPlotObserved), kObservedColour);
    fittedSeries_ = addSeries(main_, text(messages::kFitPlotFitted), kFittedColour);
    fieldAxis_ = addAxis(main_, observedSeries_, Qt::AlignBottom, QString());
    intensityAxis_ = addAxis(main_, observedSeries_, Qt::AlignLeft, QString());
    fittedSeries_->attachAxis(fieldAxis_);
    fittedSeries_->attachAxis(intensityAxis_);
    main_->legend()->setAlignment(Qt::AlignTop);

    residualChart_ = darkChart();
    residualSeries_ = addSeries(residualChart_, text(messages::kFitPlotResidual), kResidualColour);
    residualFieldAxis_ = addAxis(residualChart_, residualSeries_, Qt::AlignBottom, text(messages::kFitPlotField));
    residualAxis_ = addAxis(residualChart_, residualSeries_, Qt::AlignLeft, QString());
    residualChart_->legend()->setAlignment(Qt::AlignTop);

    const auto zoom = [this](double factor, double about) {
        const auto [low, high] = fieldRange();
        setFieldRange(about + (low - about) * factor, about + (high - about) * factor);
    };
    mainView_ = new ZoomView(main_, zoom, this);
    mainView_->setObjectName(QStringLiteral("FitPlotMain"));
    residualView_ = new ZoomView(residualChart_, zoom, this);
    residualView_->setObjectName(QStringLiteral("FitPlotResidual"));
    // The strip's own box zooms only its residual axis; the field follows the main plot.
    residualView_->setRubberBand(QChartView::VerticalRubberBand);
    whole_ = new QPushButton(text(messages::kFitPlotWholeView), this);
    whole_->setObjectName(QStringLiteral("WholeView"));
    whole_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainView_, 3);
    layout->addWidget(residualView_, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(whole_);
    layout->addLayout(buttons);
    setMinimumSize(320, 260);

    connect(fieldAxis_, &QValueAxis::rangeChanged, this, &FitPlot::fieldRangeChanged);
    connect(whole_, &QPushButton::clicked, this, &FitPlot::showWhole);
    residualView_->setVisible(false);
}

void FitPlot::showObserved(std::span<const double> field, std::span<const double> intensity)
{
    // The lowest and the highest point of each of a few thousand columns,
    // in one pass over points in any order: a spectrum of millions of
    // points is neither copied nor sorted.
    field_.clear();
    observed_.clear();
    fitted_.clear();
    residual_.clear();
    if (!field.empty()) {
        const auto [lowest, highest] = std::minmax_element(field.begin(), field.end());
        const double low = *lowest;
        const double span = *highest - low;
        const std::size_t columns = span > 0 ? kObservedColumns : 1;
        struct Column {
            std::size_t low = SIZE_MAX, high = SIZE_MAX;
        };
        std::vector<Column> column(columns);
        for (std::size_t i = 0; i < field.size(); ++i) {
            const double share = span > 0 ? (field[i] - low) / span : 0.0;
            Column& c = column[std::min(columns - 1, static_cast<std::size_t>(share * static_cast<double>(columns)))];
            if (c.low == SIZE_MAX || intensity[i] < intensity[c.low])
                c.low = i;
            if (c.high == SIZE_MAX || intensity[i] > intensity[c.high])
                c.high = i;
        }
        for (const Column& c : column) {
            if (c.low == SIZE_MAX)
                continue;
            const bool lowFirst = field[c.low] <= field[c.high];
            field_.push_back(field[lowFirst ? c.low : c.high]);
            observed_.push_back(intensity[lowFirst ? c.low : c.high]);
            if (c.low == c.high)
                continue;
            field_.push_back(field[lowFirst ? c.high : c.low]);
            observed_.push_back(intensity[lowFirst ? c.high : c.low]);
        }
    }
    residualView_->setVisible(false);
    showWhole();
}

void FitPlot::showTrace(const FitTrace& trace)
{
    if (trace.field.empty())
        return; // nothing to add to the observed points
    field_ = trace.field;
    observed_ = trace.observed;
    fitted_ = trace.fitted;
    residual_.resize(field_.size());
    for (std::size_t i = 0; i < field_.size(); ++i)
        residual_[i] = observed_[i] - fitted_[i];
    residualView_->setVisible(true);
    showWhole();
}

std::pair<double, double> FitPlot::fieldRange() const { return {fieldAxis_->min(), fieldAxis_->max()}; }

void FitPlot::setFieldRange(double low, double high)
{
    low = std::max(low, low_);
    high = std::min(high, high_);
    if (!(high > low))
        return;
    fieldAxis_->setRange(low, high);
}

int FitPlot::drawnPoints(int trace) const
{
    const QLineSeries* series = trace == 0 ? observedSeries_ : trace == 1 ? fittedSeries_ : residualSeries_;
    return static_cast<int>(series->count());
}

void FitPlot::showWhole()
{
    low_ = field_.empty() ? 0.0 : field_.front();
    high_ = field_.empty() ? 1.0 : field_.back();
    if (!(high_ > low_))
        high_ = low_ + 1.0;
    const auto [low, high] = extremes(observed_, fitted_, 0, field_.size());
    intensityAxis_->setRange(low, high);
    fieldAxis_->setRange(low_, high_);
    redraw(); // also when the range was the same
}

void FitPlot::fieldRangeChanged(double low, double high)
{
    residualFieldAxis_->setRange(low, high);
    redraw();
}

void FitPlot::redraw()
{
    if (redrawing_)
        return;
    redrawing_ = true;
    const auto [low, high] = fieldRange();
    // One point either side, so that the lines reach the edges.
    auto begin = static_cast<std::size_t>(std::lower_bound(field_.begin(), field_.end(), low) - field_.begin());
    auto end = static_cast<std::size_t>(std::upper_bound(field_.begin(), field_.end(), high) - field_.begin());
    begin = begin > 0 ? begin - 1 : 0;
    end = std::min(field_.size(), end + 1);
    const int columns = std::max(kLeastColumns, mainView_->width() / kPixelsPerColumn);
    observedSeries_->replace(columnPoints(field_, observed_, begin, end, columns));
    fittedSeries_->replace(columnPoints(field_, fitted_, begin, end, columns));
    residualSeries_->replace(columnPoints(field_, residual_, begin, end, columns));
    if (!residual_.empty()) {
        const auto [residualLow, residualHigh] = extremes(residual_, {}, begin, end);
        const double reach = std::max(std::abs(residualLow), std::abs(residualHigh));
        residualAxis_->setRange(-reach, reach);
    }
    redrawing_ = false;
}

} // namespace ravelle
