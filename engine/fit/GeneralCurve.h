#pragma once

#include <cstdint>
#include <vector>

#include "engine/fit/Curve.h"
#include "engine/fit/ModelBuilder.h"
#include "engine/model/Evaluation.h"

// The fit's curve through the general model engine: any line shape, any
// nuclei, several species, m_I-dependent widths.
namespace ravelle::fit {

class GeneralCurve : public Curve {
public:
    GeneralCurve(const FitProblem& problem, const Layout& layout);

    bool prepare(const ModelValues& values, double smoothing, const Columns& columns) override;
    bool sums(std::span<const double> x, bool derivatives, Sums& out, const std::atomic<bool>* cancel) override;
    bool normalisation(bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) override;
    // Each call of the engine has a Fourier transform to set up: blocks much
    // larger than the line sum's keep that cost small.
    std::size_t blockPoints() const override { return std::size_t{1} << 16; }

private:
    // The engine's values at x, the quantities asked for; false when the
    // engine refuses the model.
    bool evaluate(std::span<const double> x, std::span<const model::Quantity> quantities, model::ModelValues& out);

    ModelBuilder builder_;
    double displayRange_ = 0.0;
    std::int32_t points_ = 0;
    model::Model model_;          // at the prepared values, smoothed
    model::Model unsmoothed_;     // at the prepared values
    std::vector<model::Quantity> quantities_; // the columns' pieces, then the field
    std::vector<std::size_t> pieces_;         // per column, how many quantities make it up
};

} // namespace ravelle::fit
