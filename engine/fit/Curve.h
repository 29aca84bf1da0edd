#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/fit/Layout.h"
#include "engine/fit/Values.h"

// The model's unnormalised sum F at offsets from the centre field, with the
// derivatives a pass needs, and its peak-to-peak height on the display grid.
// Two ways to it: the Gaussian lines of the document's model summed one by
// one (fast, for a model of one Gaussian species without a width law), and
// the general model engine for everything else.
namespace ravelle::fit {

// Which model quantities a pass differentiates, in its column order: the
// flagged sets, then the flagged shape quantities.
struct Columns {
    std::vector<bool> set;
    std::vector<bool> quantity;
    std::size_t count() const;
};

struct Sums {
    std::vector<double> value;   // F
    std::vector<double> dCentre; // dF/d(centre)
    std::vector<double> dColumn; // point-major: dF/d(column) for each column
};

// The peak-to-peak height of F on the display grid and its derivatives
// (the grid points of the extremes held fixed).
struct Normalisation {
    double height = 0.0;
    std::vector<double> dColumn;
};

enum class Stop {
    None,
    Cancelled,
    SigmaZero,  // the document's sigma reached 0
    OutOfRange, // the values leave the model's range (a width of 0, a negative weight, ...)
};

class Curve {
public:
    virtual ~Curve() = default;

    // Takes the values and the smoothing for the calls that follow. False
    // when they leave the model's range (stop() says how).
    virtual bool prepare(const ModelValues& values, double smoothing, const Columns& columns) = 0;
    // F at the ascending offsets x, and with `derivatives` dF/d(centre) and
    // the columns'. False on a cancel or a value out of range.
    virtual bool sums(std::span<const double> x, bool derivatives, Sums& out, const std::atomic<bool>* cancel) = 0;
    // At the prepared values without smoothing. False on a cancel.
    virtual bool normalisation(bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) = 0;
    // Points whose sums take a few milliseconds: a long evaluation goes a
    // block at a time, so that it can report and hear a cancel.
    virtual std::size_t blockPoints() const = 0;

    Stop stop() const { return stop_; }
    // What was out of range.
    const std::string& refusal() const { return refusal_; }

protected:
    bool stopped(Stop stop, std::string refusal = {})
    {
        stop_ = stop;
        refusal_ = std::move(refusal);
        return false;
    }
    void clearStop()
    {
        stop_ = Stop::None;
        refusal_.clear();
    }

private:
    Stop stop_ = Stop::None;
    std::string refusal_;
};

// More distinct lines than this make the line-by-line sum slow and its table
// big: the general engine sums them by Fourier transform instead.
inline constexpr double kMostSummedLines = 200000;

// The fast sum where it gives the model and has at most `mostLines` lines to
// sum, the general engine otherwise.
std::unique_ptr<Curve> makeCurve(const FitProblem& problem, const Layout& layout,
                                 double mostLines = kMostSummedLines);

// The display grid of Calculate: offsets (G/N) i - G/2, i = 0 .. N, ascending.
std::vector<double> displayGrid(double range, std::int32_t points);

} // namespace ravelle::fit
