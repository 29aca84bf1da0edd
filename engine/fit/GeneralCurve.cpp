#include "engine/fit/GeneralCurve.h"

#include <algorithm>
#include <new>

#include "engine/UserError.h"

namespace ravelle::fit {

namespace {

// Display-grid points evaluated at once: a cancel is heard between pieces.
constexpr std::int64_t kGridPiece = std::int64_t{1} << 17;

} // namespace

GeneralCurve::GeneralCurve(const FitProblem& problem, const Layout& layout)
    : builder_(layout), displayRange_(problem.displayRange), points_(problem.points)
{
}

bool GeneralCurve::prepare(const ModelValues& values, double smoothing, const Columns& columns)
{
    clearStop();
    model_ = builder_.at(values, smoothing);
    unsmoothed_ = smoothing > 0 ? builder_.at(values) : model_;
    quantities_.clear();
    pieces_.clear();
    for (std::size_t g = 0; g < columns.set.size(); ++g) {
        if (!columns.set[g])
            continue;
        const auto& pieces = builder_.setQuantities(g);
        quantities_.insert(quantities_.end(), pieces.begin(), pieces.end());
        pieces_.push_back(pieces.size());
    }
    for (std::size_t k = 0; k < columns.quantity.size(); ++k) {
        if (!columns.quantity[k])
            continue;
        quantities_.push_back(builder_.shapeQuantity(k));
        pieces_.push_back(1);
    }
    try {
        model::validateModel(model_);
    } catch (const UserError& error) {
        return stopped(Stop::OutOfRange, error.message());
    }
    return true;
}

bool GeneralCurve::evaluate(std::span<const double> x, std::span<const model::Quantity> quantities,
                            model::ModelValues& out)
{
    try {
        out = model::evaluateModelAt(model_, x, quantities);
    } catch (const UserError& error) {
        return stopped(Stop::OutOfRange, error.message());
    }
    return true;
}

bool GeneralCurve::sums(std::span<const double> x, bool derivatives, Sums& out, const std::atomic<bool>* cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        return stopped(Stop::Cancelled);
    std::vector<model::Quantity> asked;
    if (derivatives) {
        asked = quantities_;
        asked.push_back({model::QuantityKind::Field, 0, 0});
    }
    model::ModelValues values;
    if (!evaluate(x, asked, values))
        return false;
    out.value = std::move(values.value);
    if (!derivatives)
        return true;
    const std::size_t n = x.size();
    out.dCentre = std::move(values.derivative.back());
    for (double& d : out.dCentre)
        d = -d; // F(x - centre)
    const std::size_t columns = pieces_.size();
    out.dColumn.assign(n * columns, 0.0);
    std::size_t row = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        for (std::size_t piece = 0; piece < pieces_[c]; ++piece, ++row) {
            const std::vector<double>& derivative = values.derivative[row];
            for (std::size_t i = 0; i < n; ++i)
                out.dColumn[i * columns + c] += derivative[i];
        }
    }
    return true;
}

bool GeneralCurve::normalisation(bool derivatives, Normalisation& out, const std::atomic<bool>* cancel)
{
    // The grid Calculate draws on: (G / N) i - G / 2, i = 0 ... N, taken in pieces.
    const long double step = static_cast<long double>(displayRange_) / points_;
    const long double low = -static_cast<long double>(displayRange_) / 2;
    const std::int64_t count = std::int64_t{points_} + 1;
    double highest = 0.0, lowest = 0.0, highAt = 0.0, lowAt = 0.0;
    for (std::int64_t first = 0; first < count; first += kGridPiece) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return stopped(Stop::Cancelled);
        const model::UniformGrid piece{static_cast<double>(step * static_cast<long double>(first) + low),
                                       static_cast<double>(step), std::min(kGridPiece, count - first)};
        model::ModelValues values;
        try {
            values = model::evaluateModel(unsmoothed_, piece);
        } catch (const UserError& error) {
            return stopped(Stop::OutOfRange, error.message());
        }
        for (std::size_t i = 0; i < values.value.size(); ++i) {
            const double v = values.value[i];
            const double at = static_cast<double>(step * static_cast<long double>(first + static_cast<std::int64_t>(i)) + low);
            if ((first == 0 && i == 0) || v > highest) {
                highest = v;
                highAt = at;
            }
            if ((first == 0 && i == 0) || v < lowest) {
                lowest = v;
                lowAt = at;
            }
        }
    }
    out.height = highest - lowest;
    if (!derivatives)
        return true;
    std::swap(model_, unsmoothed_);
    model::ModelValues at;
    const std::vector<double> fields{highAt, lowAt};
    const bool evaluated = evaluate(fields, quantities_, at);
    std::swap(model_, unsmoothed_);
    if (!evaluated)
        return false;
    out.dColumn.assign(pieces_.size(), 0.0);
    std::size_t row = 0;
    for (std::size_t c = 0; c < pieces_.size(); ++c)
        for (std::size_t piece = 0; piece < pieces_[c]; ++piece, ++row)
            out.dColumn[c] += at.derivative[row][0] - at.derivative[row][1];
    return true;
}

} // namespace ravelle::fit
