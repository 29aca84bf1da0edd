#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/fit/Curve.h"
#include "engine/fit/LineTable.h"

// The document's model summed line by line: Gaussian derivatives over the
// placed lines, with their derivatives, and the curve's height on the
// display grid. Exactly the program's own synthesis, and the fastest way to
// it by far where it applies.
namespace ravelle::fit {

// The raw sums of one line shape over the placed lines.
struct LineSums {
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
    bool sum(std::span<const double> x, double sigma, bool derivatives, LineSums& out,
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

// Whether the layout's model is one the line sum gives: one Gaussian species
// without a width law or a natural-abundance group, whose only varied shape
// quantity is its sigma.
bool summedLineByLine(const Layout& layout);

// The lines of the layout's model: the varied sets' patterns over the fixed
// groups' lines. Nothing when there would be more than `mostLines`.
std::optional<LineTable> lineTableOf(const Layout& layout, double mostLines);

class LineCurve : public Curve {
public:
    LineCurve(const FitProblem& problem, const Layout& layout, LineTable table);

    bool prepare(const ModelValues& values, double smoothing, const Columns& columns) override;
    bool sums(std::span<const double> x, bool derivatives, Sums& out, const std::atomic<bool>* cancel) override;
    bool normalisation(bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) override;
    std::size_t blockPoints() const override { return std::size_t{1} << 14; }

private:
    LineTable table_;
    Evaluator evaluator_;
    std::vector<double> grid_;
    std::optional<std::size_t> sigmaQuantity_; // the varied sigma among the shape quantities
    double fixedSigma_ = 0.1;
    Columns columns_;
    double sign_ = 1.0;
    double sigma_ = 0.0;
    double width_ = 0.0;
    LineSums raw_;
};

} // namespace ravelle::fit
