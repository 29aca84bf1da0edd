#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/fit/LineTable.h"

// The model of one fit: sums of Gaussian derivatives over the placed lines,
// with their derivatives, and the curve's height on the display grid.
namespace ravelle::fit {

struct Sums {
    std::vector<double> value;    // sum of w GD
    std::vector<double> dCentre;  // d/d(centre) = sum of w dGD/d(line position)
    std::vector<double> dSigma;   // d/d(sigma of the line shape)
    std::vector<double> dSet;     // point-major: sum of w m_g dGD/d(line position)
};

class Evaluator {
public:
    explicit Evaluator(const LineTable& table) : table_(table) {}

    // Places the lines for the given set values and sorts them by position.
    void place(const std::vector<double>& setValues);

    // The sums at the offsets x (ascending) for a line shape of the given
    // sigma (> 0). Returns false when `cancel` was raised meanwhile.
    bool sum(const std::vector<double>& x, double sigma, bool derivatives, Sums& out,
             const std::atomic<bool>* cancel) const;

private:
    const LineTable& table_;
    std::vector<std::size_t> order_;
    std::vector<double> position_;
    std::vector<double> weight_;
    std::vector<double> coefficient_;
    // Scratch for one point's window of lines.
    mutable std::vector<double> exponent_;
    mutable std::vector<double> gaussian_;
    mutable std::vector<double> slope_;
};

// The display grid of Calculate: offsets (G/N) i - G/2, i = 0 .. N, ascending.
std::vector<double> displayGrid(double range, std::int32_t points);

// The peak-to-peak height of the raw sum on the display grid, and its
// derivatives (the grid points of the extremes held fixed).
struct Normalisation {
    double height = 0.0;
    std::vector<double> dSet;
    double dSigma = 0.0;
};

// ---------------------------------------------------------------------------
// The model of one fit.

struct ModelValues {
    std::vector<double> set;
    double sigma = 0.0;
    double centre = 0.0;
    double amplitude = 0.0; // simulated = amplitude * raw sum
    double offset = 0.0;    // smoothed passes only
};

class Model {
public:
    Model(const FitProblem& problem, LineTable table)
        : table_(std::move(table)), evaluator_(table_),
          grid_(displayGrid(problem.displayRange, problem.points))
    {
    }

    std::size_t sets() const { return table_.sets; }

    void place(const std::vector<double>& setValues) { evaluator_.place(setValues); }

    bool sums(const std::vector<double>& x, double sigma, bool derivatives, Sums& out,
              const std::atomic<bool>* cancel) const
    {
        return evaluator_.sum(x, sigma, derivatives, out, cancel);
    }

    // Peak-to-peak of the raw sum on the display grid for the placed lines.
    bool normalisation(double sigma, bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) const;

private:
    LineTable table_;
    Evaluator evaluator_;
    std::vector<double> grid_;
};

} // namespace ravelle::fit
