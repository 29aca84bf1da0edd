#include "engine/fit/LineCurve.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "engine/FastMath.h"
#include "engine/Synthesis.h"
#include "engine/model/Isotopes.h"

namespace ravelle::fit {

namespace {

// The synthesis's value of 2 pi, so that the fitted curve is the drawn one.
constexpr double kTwoPi = static_cast<double>(kProgramTwoPi);
// Terms further than this many sigmas from their line are below 1e-30 of the
// line's peak: far too small to move a fit, and skipping them is what makes
// a fit fast.
constexpr double kCutOffSigmas = 12.0;

} // namespace

void Evaluator::place(const std::vector<double>& setValues)
{
    const std::size_t lines = table_.size();
    const std::size_t sets = table_.sets;
    std::vector<double> position(lines);
    for (std::size_t l = 0; l < lines; ++l) {
        double p = table_.base[l];
        for (std::size_t g = 0; g < sets; ++g)
            p += table_.coefficient[l * sets + g] * setValues[g];
        position[l] = p;
    }
    order_.resize(lines);
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return position[a] < position[b]; });
    position_.resize(lines);
    weight_.resize(lines);
    coefficient_.resize(lines * sets);
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t l = order_[i];
        position_[i] = position[l];
        weight_[i] = table_.weight[l];
        std::copy_n(table_.coefficient.begin() + static_cast<std::ptrdiff_t>(l * sets), sets,
                    coefficient_.begin() + static_cast<std::ptrdiff_t>(i * sets));
    }
    exponent_.resize(lines);
    gaussian_.resize(lines);
    slope_.resize(lines);
}

bool Evaluator::sum(std::span<const double> x, double sigma, bool derivatives, LineSums& out,
                    const std::atomic<bool>* cancel) const
{
    const std::size_t n = x.size();
    const std::size_t sets = table_.sets;
    const std::size_t lines = position_.size();
    out.value.assign(n, 0.0);
    if (derivatives) {
        out.dCentre.assign(n, 0.0);
        out.dSigma.assign(n, 0.0);
        out.dSet.assign(n * sets, 0.0);
    }
    const double inverse = 1.0 / sigma;
    const double norm = 1.0 / (std::sqrt(kTwoPi) * sigma * sigma * sigma);
    const double reach = kCutOffSigmas * sigma;
    std::vector<double> setSum(sets);
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if ((i & 255u) == 0 && cancel && cancel->load(std::memory_order_relaxed))
            return false;
        const double xi = x[i];
        while (low < lines && position_[low] < xi - reach)
            ++low;
        if (high < low)
            high = low;
        while (high < lines && position_[high] <= xi + reach)
            ++high;
        // The exponentials of the window in one vectorisable batch.
        const std::size_t count = high - low;
        const double* position = position_.data() + low;
        const double* weight = weight_.data() + low;
        for (std::size_t j = 0; j < count; ++j) {
            const double t = (xi - position[j]) * inverse;
            exponent_[j] = -0.5 * t * t;
        }
        expNonPositive(exponent_.data(), gaussian_.data(), count);
        double value = 0.0;
        if (!derivatives) {
            for (std::size_t j = 0; j < count; ++j)
                value -= weight[j] * (xi - position[j]) * gaussian_[j];
            out.value[i] = value * norm;
            continue;
        }
        double centre = 0.0;
        double width = 0.0;
        std::fill(setSum.begin(), setSum.end(), 0.0);
        for (std::size_t j = 0; j < count; ++j) {
            const double d = xi - position[j];
            const double t2 = -2.0 * exponent_[j];
            const double e = weight[j] * gaussian_[j];
            const double slope = e * (1.0 - t2); // d/d(position), without norm
            value -= d * e;
            centre += slope;
            width -= d * e * (t2 - 3.0);
            slope_[j] = slope;
        }
        const double* m = coefficient_.data() + low * sets;
        for (std::size_t j = 0; j < count; ++j)
            for (std::size_t g = 0; g < sets; ++g)
                setSum[g] += slope_[j] * m[j * sets + g];
        out.value[i] = value * norm;
        out.dCentre[i] = centre * norm;
        out.dSigma[i] = width * norm * inverse;
        for (std::size_t g = 0; g < sets; ++g)
            out.dSet[i * sets + g] = setSum[g] * norm;
    }
    return true;
}

bool summedLineByLine(const Layout& layout)
{
    if (layout.model.species.size() != 1)
        return false;
    const model::Species& species = layout.model.species.front();
    if (species.shape != model::LineShape::Gaussian || species.widthGroup != model::kNoWidthGroup)
        return false;
    for (const model::NucleusGroup& group : species.groups) {
        const model::Isotope* isotope = model::findIsotope(group.isotope);
        if (group.naturalAbundance || isotope == nullptr)
            return false;
    }
    return std::all_of(layout.quantities.begin(), layout.quantities.end(),
                       [](const ShapeQuantity& quantity) { return quantity.kind == FitParameterKind::Sigma; });
}

std::optional<LineTable> lineTableOf(const Layout& layout, double mostLines)
{
    const model::Species& species = layout.model.species.front();
    std::vector<bool> inSet(species.groups.size(), false);
    std::vector<Pattern> patterns;
    for (const CouplingSet& set : layout.sets) {
        int nuclei = 0;
        int twiceSpin = 1;
        for (const std::size_t member : set.members) {
            const auto& group = species.groups[static_cast<std::size_t>(layout.group[member])];
            inSet[static_cast<std::size_t>(layout.group[member])] = true;
            nuclei += group.count;
            twiceSpin = model::findIsotope(group.isotope)->twiceSpin;
        }
        patterns.push_back(patternOf(twiceSpin, nuclei));
    }
    std::vector<FixedGroup> fixed;
    for (std::size_t g = 0; g < species.groups.size(); ++g) {
        if (inSet[g])
            continue;
        const auto& group = species.groups[g];
        fixed.push_back({model::findIsotope(group.isotope)->twiceSpin, group.count, group.coupling});
    }
    const double patternLines = lineCount({{0.0, 1.0}}, patterns);
    if (patternLines > mostLines)
        return std::nullopt;
    const auto base = fixedLines(fixed, species.shift, species.weight,
                                 static_cast<std::size_t>(mostLines / patternLines) + 1);
    if (lineCount(base, patterns) > mostLines)
        return std::nullopt;
    return buildLineTable(base, patterns);
}

LineCurve::LineCurve(const FitProblem& problem, const Layout& layout, LineTable table)
    : table_(std::move(table)), evaluator_(table_), grid_(displayGrid(problem.displayRange, problem.points)),
      fixedSigma_(std::abs(layout.model.species.front().sigma))
{
    for (std::size_t k = 0; k < layout.quantities.size(); ++k)
        if (layout.quantities[k].kind == FitParameterKind::Sigma)
            sigmaQuantity_ = k;
}

bool LineCurve::prepare(const ModelValues& values, double smoothing, const Columns& columns)
{
    clearStop();
    const double sigma = sigmaQuantity_ ? values.quantity[*sigmaQuantity_] : fixedSigma_;
    if (sigma == 0.0)
        return stopped(Stop::SigmaZero);
    sign_ = sigma < 0 ? -1.0 : 1.0; // a negative sigma draws as its absolute value
    sigma_ = std::abs(sigma);
    width_ = std::sqrt(sigma_ * sigma_ + smoothing * smoothing);
    columns_ = columns;
    evaluator_.place(values.set);
    return true;
}

bool LineCurve::sums(std::span<const double> x, bool derivatives, Sums& out, const std::atomic<bool>* cancel)
{
    if (!evaluator_.sum(x, width_, derivatives, raw_, cancel))
        return stopped(Stop::Cancelled);
    out.value.swap(raw_.value);
    if (!derivatives)
        return true;
    out.dCentre.swap(raw_.dCentre);
    const std::size_t n = x.size();
    const std::size_t sets = table_.sets;
    const std::size_t columns = columns_.count();
    out.dColumn.resize(n * columns);
    const double widthPerSigma = sign_ * sigma_ / width_;
    for (std::size_t i = 0; i < n; ++i) {
        double* row = out.dColumn.data() + i * columns;
        for (std::size_t g = 0; g < sets; ++g)
            if (columns_.set[g])
                *row++ = raw_.dSet[i * sets + g];
        if (sigmaQuantity_ && columns_.quantity[*sigmaQuantity_])
            *row++ = raw_.dSigma[i] * widthPerSigma;
    }
    return true;
}

bool LineCurve::normalisation(bool derivatives, Normalisation& out, const std::atomic<bool>* cancel)
{
    LineSums onGrid;
    if (!evaluator_.sum(grid_, sigma_, false, onGrid, cancel))
        return stopped(Stop::Cancelled);
    const auto [low, high] = std::minmax_element(onGrid.value.begin(), onGrid.value.end());
    out.height = *high - *low;
    if (!derivatives)
        return true;
    std::vector<double> extremes{grid_[static_cast<std::size_t>(low - onGrid.value.begin())],
                                 grid_[static_cast<std::size_t>(high - onGrid.value.begin())]};
    const bool swapped = extremes[0] > extremes[1];
    if (swapped)
        std::swap(extremes[0], extremes[1]);
    LineSums at;
    evaluator_.sum(extremes, sigma_, true, at, nullptr);
    const std::size_t lowAt = swapped ? 1 : 0;
    const std::size_t highAt = 1 - lowAt;
    const std::size_t sets = table_.sets;
    out.dColumn.clear();
    for (std::size_t g = 0; g < sets; ++g)
        if (columns_.set[g])
            out.dColumn.push_back(at.dSet[highAt * sets + g] - at.dSet[lowAt * sets + g]);
    if (sigmaQuantity_ && columns_.quantity[*sigmaQuantity_])
        out.dColumn.push_back(sign_ * (at.dSigma[highAt] - at.dSigma[lowAt]));
    return true;
}

} // namespace ravelle::fit
