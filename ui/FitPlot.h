#pragma once

#include <QWidget>

#include <span>
#include <vector>

#include "engine/fit/Fit.h"

class QChart;
class QChartView;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace ravelle {

// The fit dialog's picture: the observed points and the fitted trace, and
// the residual (observed minus fitted) in a strip below them, on one field
// axis. The wheel zooms the field axis about the pointer, dragging a box
// zooms into it, and "Whole view" shows everything again. However long the
// spectrum, each trace is drawn from at most two points per pixel column of
// what is in view, so that redrawing stays quick.
class FitPlot : public QWidget {
    Q_OBJECT
public:
    explicit FitPlot(QWidget* parent = nullptr);

    // The observed points alone, in any order (before a fit).
    void showObserved(std::span<const double> field, std::span<const double> intensity);
    // The observed points, the fitted trace and the residual; an empty
    // trace leaves the observed points as they are.
    void showTrace(const FitTrace& trace);

    // The field range in view, and the whole range.
    std::pair<double, double> fieldRange() const;
    std::pair<double, double> wholeRange() const { return {low_, high_}; }
    void setFieldRange(double low, double high);
    // The points each trace is drawn from now.
    int drawnPoints(int trace) const; // 0 observed, 1 fitted, 2 residual

    QChartView* mainView() const { return mainView_; }
    QChartView* residualView() const { return residualView_; }
    QPushButton* wholeViewButton() const { return whole_; }

public slots:
    void showWhole();

private:
    void redraw();
    void fieldRangeChanged(double low, double high);

    // Ascending fields, with the traces at them (fitted and residual empty
    // before a fit).
    std::vector<double> field_;
    std::vector<double> observed_;
    std::vector<double> fitted_;
    std::vector<double> residual_;
    double low_ = 0.0;
    double high_ = 1.0;
    bool redrawing_ = false;

    QChartView* mainView_ = nullptr;
    QChartView* residualView_ = nullptr;
    QChart* main_ = nullptr;
    QChart* residualChart_ = nullptr;
    QLineSeries* observedSeries_ = nullptr;
    QLineSeries* fittedSeries_ = nullptr;
    QLineSeries* residualSeries_ = nullptr;
    QValueAxis* fieldAxis_ = nullptr;
    QValueAxis* intensityAxis_ = nullptr;
    QValueAxis* residualFieldAxis_ = nullptr;
    QValueAxis* residualAxis_ = nullptr;
    QPushButton* whole_ = nullptr;
};

} // namespace ravelle
