#include "engine/fit/Fit.h"

#include <unsupported/Eigen/LevenbergMarquardt>
#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <numeric>
#include <random>
#include <utility>

#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/FastMath.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"

namespace ravelle {

namespace {

// The synthesis's value of 2 pi, so that the fitted curve is the drawn one.
constexpr double kTwoPi = static_cast<double>(kProgramTwoPi);
// Terms further than this many sigmas from their line are below 1e-30 of the
// line's peak: far too small to move a fit, and skipping them is what makes
// a fit fast.
constexpr double kCutOffSigmas = 12.0;
// More distinct lines than this make every step slow and the line table big.
constexpr double kMaxFitLines = 200000;
// The first pass on smoothed data is this fraction of the spread of the
// varied lines wide: wide enough to pull lines a little off into place,
// narrow enough to keep what tells the constants apart.
constexpr double kFirstSmoothingFraction = 0.03;
constexpr int kMaxEvaluationsCoarse = 60;
constexpr double kToleranceCoarse = 1e-4;
constexpr double kToleranceFinal = 1e-8;
constexpr double kNotDeterminedCondition = 1e-10;
// A smoothed pass varies a set only while its splitting is this many line
// widths: a finer one does not show and would only wander.
constexpr double kResolvedWidths = 2.0;
// At most this many starts: the user's values, then others scattered around
// them (a fixed seed, so that a fit gives the same result every time).
constexpr int kMaxStarts = 12;
constexpr std::uint32_t kStartSeed = 20050105;
constexpr double kScatterConstant = 0.15;
constexpr double kScatterSigma = 0.20;
// Two starts ending this close (relative residual sum) found one minimum;
// once the best has been found this often, more starts would find it again.
constexpr double kSameMinimum = 1e-4;
constexpr int kFoundAgain = 3;
// Residual variance over half its mean square difference: 1 for white noise.
constexpr double kNoiseLikeRatio = 1.15;
constexpr std::string_view kSigmaThroughZero =
    "Sigma ran through zero: the line width is not determined. Start from a better line width or keep Sigma fixed.";

const double kInfinity = std::numeric_limits<double>::infinity();

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// ---------------------------------------------------------------------------
// Lines: every combination of spin states, with equivalent nuclei and fixed
// constants merged. A line's position is base + sum over the varied sets g of
// coefficient[g] * a_g, where the coefficient is the set's total spin
// projection, so d(position)/d(a_g) is that coefficient.

struct Pattern {
    std::vector<double> coefficient;
    std::vector<double> weight;
};

// n equivalent spin-1/2 nuclei: n + 1 lines at (k - n/2) a, binomial weights.
// n equivalent spin-1 nuclei: 2n + 1 lines at m b, trinomial weights.
Pattern patternOf(FitParameterKind kind, int n)
{
    const std::vector<double> single =
        kind == FitParameterKind::Hydrogen ? std::vector<double>{1, 1} : std::vector<double>{1, 1, 1};
    std::vector<double> weight{1};
    for (int k = 0; k < n; ++k) {
        std::vector<double> next(weight.size() + single.size() - 1, 0.0);
        for (std::size_t i = 0; i < weight.size(); ++i)
            for (std::size_t j = 0; j < single.size(); ++j)
                next[i + j] += weight[i] * single[j];
        weight = std::move(next);
    }
    Pattern pattern;
    pattern.weight = weight;
    const double half = (static_cast<double>(weight.size()) - 1) / 2;
    for (std::size_t i = 0; i < weight.size(); ++i)
        pattern.coefficient.push_back(static_cast<double>(i) - half);
    return pattern;
}

struct CouplingSet {
    FitParameterKind kind;
    std::vector<std::size_t> members; // indices into the problem's parameters
    double start = 0.0;
};

struct LineTable {
    std::size_t sets = 0;
    std::vector<double> base;
    std::vector<double> weight;
    std::vector<double> coefficient; // line-major, `sets` per line
    std::size_t size() const { return weight.size(); }
};

// Fixed constants never move, so their lines are merged wherever they fall
// on the same position.
std::vector<std::pair<double, double>> fixedLines(const std::vector<std::pair<FitParameterKind, double>>& fixed)
{
    std::vector<std::pair<double, double>> lines{{0.0, 1.0}};
    for (const auto& [kind, value] : fixed) {
        std::vector<std::pair<double, double>> next;
        for (const auto& [position, weight] : lines) {
            if (kind == FitParameterKind::Hydrogen) {
                next.emplace_back(position - 0.5 * value, weight);
                next.emplace_back(position + 0.5 * value, weight);
            } else {
                next.emplace_back(position - value, weight);
                next.emplace_back(position, weight);
                next.emplace_back(position + value, weight);
            }
        }
        std::sort(next.begin(), next.end());
        lines.clear();
        for (const auto& line : next) {
            if (!lines.empty() && lines.back().first == line.first)
                lines.back().second += line.second;
            else
                lines.push_back(line);
        }
    }
    return lines;
}

double lineCount(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns)
{
    double count = static_cast<double>(base.size());
    for (const auto& pattern : patterns)
        count *= static_cast<double>(pattern.weight.size());
    return count;
}

LineTable buildLineTable(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns)
{
    LineTable table;
    table.sets = patterns.size();
    const auto total = static_cast<std::size_t>(lineCount(base, patterns));
    table.base.reserve(total);
    table.weight.reserve(total);
    table.coefficient.reserve(total * table.sets);
    std::vector<std::size_t> digit(patterns.size(), 0);
    for (const auto& [position, weight] : base) {
        std::fill(digit.begin(), digit.end(), 0);
        while (true) {
            double w = weight;
            for (std::size_t g = 0; g < patterns.size(); ++g) {
                w *= patterns[g].weight[digit[g]];
                table.coefficient.push_back(patterns[g].coefficient[digit[g]]);
            }
            table.base.push_back(position);
            table.weight.push_back(w);
            std::size_t g = 0;
            while (g < patterns.size() && ++digit[g] == patterns[g].weight.size())
                digit[g++] = 0;
            if (g == patterns.size())
                break;
        }
    }
    return table;
}

// ---------------------------------------------------------------------------
// Sums of Gaussian derivatives over the lines near each point.

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
    void place(const std::vector<double>& setValues)
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

    // The sums at the offsets x (ascending) for a line shape of the given
    // sigma (> 0). Returns false when `cancel` was raised meanwhile.
    bool sum(const std::vector<double>& x, double sigma, bool derivatives, Sums& out,
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
std::vector<double> displayGrid(double range, std::int32_t points)
{
    const long double step = static_cast<long double>(range) / points;
    const double low = static_cast<double>(-static_cast<long double>(range) / 2);
    std::vector<double> grid(static_cast<std::size_t>(points) + 1);
    for (std::size_t i = 0; i < grid.size(); ++i)
        grid[i] = static_cast<double>(step * static_cast<long double>(i) + low);
    if (range < 0)
        std::reverse(grid.begin(), grid.end());
    return grid;
}

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
    bool normalisation(double sigma, bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) const
    {
        Sums onGrid;
        if (!evaluator_.sum(grid_, sigma, false, onGrid, cancel))
            return false;
        const auto [low, high] = std::minmax_element(onGrid.value.begin(), onGrid.value.end());
        out.height = *high - *low;
        if (!derivatives)
            return true;
        std::vector<double> extremes{grid_[static_cast<std::size_t>(low - onGrid.value.begin())],
                                     grid_[static_cast<std::size_t>(high - onGrid.value.begin())]};
        const bool swapped = extremes[0] > extremes[1];
        if (swapped)
            std::swap(extremes[0], extremes[1]);
        Sums at;
        evaluator_.sum(extremes, sigma, true, at, nullptr);
        const std::size_t lowAt = swapped ? 1 : 0;
        const std::size_t highAt = 1 - lowAt;
        out.dSigma = at.dSigma[highAt] - at.dSigma[lowAt];
        out.dSet.resize(table_.sets);
        for (std::size_t g = 0; g < table_.sets; ++g)
            out.dSet[g] = at.dSet[highAt * table_.sets + g] - at.dSet[lowAt * table_.sets + g];
        return true;
    }

private:
    LineTable table_;
    Evaluator evaluator_;
    std::vector<double> grid_;
};

// ---------------------------------------------------------------------------
// One pass of Levenberg-Marquardt: on data smoothed by a Gaussian of the
// given width (0: the raw points), with the model's line width widened to
// match, sqrt(sigma^2 + width^2), which is exact for Gaussian lines.

struct Pass {
    double smoothing = 0.0;
    std::vector<double> field; // ascending
    std::vector<double> data;
    bool varySigma = false;
    bool varyCentre = false;
    bool varyAmplitude = true;  // otherwise amplitude = 2 Scl / height on the display grid
    // A constant offset left by the import's normalisation weighs heavily
    // against the faint smoothed curve; the smoothed passes take it along.
    bool varyOffset = false;
    double scale = 1.0;         // Scl, when the amplitude follows from it
    std::vector<bool> varySet; // per coupling set
};

enum class Stop { None, Cancelled, SigmaZero };

class PassFunctor : public Eigen::DenseFunctor<double> {
public:
    PassFunctor(Model& model, const Pass& pass, const ModelValues& fixed, const std::atomic<bool>& cancel,
                int parameters)
        : Eigen::DenseFunctor<double>(parameters, static_cast<int>(pass.field.size())), model_(model), pass_(pass),
          fixed_(fixed), cancel_(cancel)
    {
    }

    // The parameter vector: the varied sets, then sigma, the centre, the
    // amplitude and the offset where this pass varies them. Calls visit on
    // each of those members of `values`, in that order.
    template <typename Values, typename Visit>
    static void forEachVaried(Values& values, const Pass& pass, Visit&& visit)
    {
        for (std::size_t g = 0; g < values.set.size(); ++g)
            if (pass.varySet[g])
                visit(values.set[g]);
        if (pass.varySigma)
            visit(values.sigma);
        if (pass.varyCentre)
            visit(values.centre);
        if (pass.varyAmplitude)
            visit(values.amplitude);
        if (pass.varyOffset)
            visit(values.offset);
    }

    ModelValues unpack(const InputType& x) const
    {
        ModelValues values = fixed_;
        Eigen::Index k = 0;
        forEachVaried(values, pass_, [&](double& value) { value = x[k++]; });
        return values;
    }

    static InputType pack(const ModelValues& values, const Pass& pass)
    {
        std::vector<double> x;
        forEachVaried(values, pass, [&](double value) { x.push_back(value); });
        return Eigen::Map<const InputType>(x.data(), static_cast<Eigen::Index>(x.size()));
    }

    int operator()(const InputType& x, ValueType& residual)
    {
        return evaluate(x, &residual, nullptr) ? 0 : -1;
    }

    int df(const InputType& x, JacobianType& jacobian) { return evaluate(x, nullptr, &jacobian) ? 0 : -1; }

    Stop stop() const { return stop_; }

    // Residuals (model - data) and/or the Jacobian at x.
    bool evaluate(const InputType& x, ValueType* residual, JacobianType* jacobian)
    {
        const ModelValues values = unpack(x);
        if (values.sigma == 0.0) {
            stop_ = Stop::SigmaZero;
            return false;
        }
        const double sign = values.sigma < 0 ? -1.0 : 1.0; // a negative sigma draws as its absolute value
        const double sigma = std::abs(values.sigma);
        const double width = std::sqrt(sigma * sigma + pass_.smoothing * pass_.smoothing);
        model_.place(values.set);

        const std::size_t n = pass_.field.size();
        offsets_.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            offsets_[i] = pass_.field[i] - values.centre;
        const bool derivatives = jacobian != nullptr;
        if (!model_.sums(offsets_, width, derivatives, sums_, &cancel_))
            return cancelled();

        double amplitude = values.amplitude;
        const double offset = pass_.varyOffset ? values.offset : 0.0;
        Normalisation norm;
        if (!pass_.varyAmplitude) {
            if (!model_.normalisation(sigma, derivatives, norm, &cancel_))
                return cancelled();
            amplitude = 2 * pass_.scale / norm.height;
        }

        if (residual) {
            for (std::size_t i = 0; i < n; ++i)
                (*residual)[static_cast<Eigen::Index>(i)] = amplitude * sums_.value[i] + offset - pass_.data[i];
        }
        if (jacobian) {
            const std::size_t sets = model_.sets();
            const double widthPerSigma = sign * sigma / width;
            for (std::size_t i = 0; i < n; ++i) {
                const auto row = static_cast<Eigen::Index>(i);
                Eigen::Index k = 0;
                for (std::size_t g = 0; g < sets; ++g) {
                    if (!pass_.varySet[g])
                        continue;
                    double d = amplitude * sums_.dSet[i * sets + g];
                    if (!pass_.varyAmplitude)
                        d -= amplitude * sums_.value[i] * norm.dSet[g] / norm.height;
                    (*jacobian)(row, k++) = d;
                }
                if (pass_.varySigma) {
                    double d = amplitude * sums_.dSigma[i] * widthPerSigma;
                    if (!pass_.varyAmplitude)
                        d -= amplitude * sums_.value[i] * norm.dSigma * sign / norm.height;
                    (*jacobian)(row, k++) = d;
                }
                if (pass_.varyCentre)
                    (*jacobian)(row, k++) = amplitude * sums_.dCentre[i];
                if (pass_.varyAmplitude)
                    (*jacobian)(row, k++) = sums_.value[i];
                if (pass_.varyOffset)
                    (*jacobian)(row, k++) = 1.0;
            }
        }
        return true;
    }

private:
    bool cancelled()
    {
        stop_ = Stop::Cancelled;
        return false;
    }

    Model& model_;
    const Pass& pass_;
    ModelValues fixed_;
    const std::atomic<bool>& cancel_;
    Stop stop_ = Stop::None;
    std::vector<double> offsets_;
    Sums sums_;
};

// ---------------------------------------------------------------------------

struct Points {
    std::vector<double> field; // ascending
    std::vector<double> data;
};

// The indices of the fields in ascending order of field, equal fields in
// their given order.
std::vector<std::size_t> ascendingOrder(const std::vector<double>& field)
{
    std::vector<std::size_t> order(field.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return field[a] < field[b]; });
    return order;
}

Points sortedPoints(const FitProblem& problem)
{
    Points points;
    for (const std::size_t i : ascendingOrder(problem.field)) {
        points.field.push_back(problem.field[i]);
        points.data.push_back(problem.intensity[i]);
    }
    return points;
}

double medianSpacing(const std::vector<double>& field)
{
    std::vector<double> spacing;
    for (std::size_t i = 1; i < field.size(); ++i)
        if (field[i] > field[i - 1])
            spacing.push_back(field[i] - field[i - 1]);
    if (spacing.empty())
        return 0.0;
    std::nth_element(spacing.begin(), spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2), spacing.end());
    return spacing[spacing.size() / 2];
}

// The points smoothed by a unit-area Gaussian of the given width, kept every
// `stride` points: the smoothed curve varies slowly, so fewer points carry it.
void smooth(const Points& points, double width, std::size_t stride, Pass& pass)
{
    const std::size_t n = points.field.size();
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; i += stride) {
        const double f = points.field[i];
        while (points.field[low] < f - 4 * width)
            ++low;
        while (high < n && points.field[high] <= f + 4 * width)
            ++high;
        double total = 0.0;
        double weights = 0.0;
        for (std::size_t j = low; j < high; ++j) {
            const double t = (points.field[j] - f) / width;
            const double w = std::exp(-0.5 * t * t);
            total += w * points.data[j];
            weights += w;
        }
        pass.field.push_back(f);
        pass.data.push_back(total / weights);
    }
}

struct Layout {
    std::vector<CouplingSet> sets;
    std::vector<std::pair<FitParameterKind, double>> fixed;
    std::optional<std::size_t> sigma, centre, scale; // problem parameter indices
    bool varySigma = false, varyCentre = false, varyScale = false;
};

Layout layoutOf(const FitProblem& problem)
{
    Layout layout;
    for (std::size_t i = 0; i < problem.parameters.size(); ++i) {
        const FitParameter& parameter = problem.parameters[i];
        switch (parameter.kind) {
        case FitParameterKind::Hydrogen:
        case FitParameterKind::Nitrogen: {
            if (!parameter.vary) {
                layout.fixed.emplace_back(parameter.kind, parameter.value);
                break;
            }
            auto same = std::find_if(layout.sets.begin(), layout.sets.end(), [&](const CouplingSet& set) {
                return problem.keepEqualConstantsEqual && set.kind == parameter.kind && set.start == parameter.value;
            });
            if (same != layout.sets.end())
                same->members.push_back(i);
            else
                layout.sets.push_back({parameter.kind, {i}, parameter.value});
            break;
        }
        case FitParameterKind::Sigma:
            layout.sigma = i;
            layout.varySigma = parameter.vary;
            break;
        case FitParameterKind::Centre:
            layout.centre = i;
            layout.varyCentre = parameter.vary;
            break;
        case FitParameterKind::Scale:
            layout.scale = i;
            layout.varyScale = parameter.vary;
            break;
        }
    }
    return layout;
}

// The boxes of a set, "H1, H2".
std::string namesOf(const FitProblem& problem, const CouplingSet& set)
{
    std::vector<std::string> names;
    for (const std::size_t member : set.members)
        names.push_back(problem.parameters[member].box);
    return joined(names);
}

// Every parameter at its start, as a fit that has not moved reports it.
std::vector<FittedValue> startingValues(const FitProblem& problem)
{
    std::vector<FittedValue> values;
    values.reserve(problem.parameters.size());
    for (const FitParameter& parameter : problem.parameters)
        values.push_back({parameter.box, parameter.kind, parameter.vary, parameter.value, parameter.value, 0.0});
    return values;
}

double valueOf(const FitProblem& problem, std::optional<std::size_t> index, double otherwise)
{
    return index ? problem.parameters[*index].value : otherwise;
}

// s^2 (J^T J)^-1, by the singular values of J with its columns scaled to
// unit length, so that the test for an undetermined direction does not
// depend on the parameters' units. A parameter with a share in a direction
// the data leave free is marked undetermined.
struct Covariance {
    Eigen::MatrixXd matrix;
    std::vector<bool> determined;
};

Covariance covarianceOf(Eigen::MatrixXd jacobian, double variance)
{
    const Eigen::Index p = jacobian.cols();
    const Eigen::VectorXd norm = jacobian.colwise().norm().transpose();
    const Eigen::VectorXd scale = (norm.array() > 0).select(norm, 1.0);
    for (Eigen::Index k = 0; k < p; ++k)
        jacobian.col(k) /= scale[k];
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(jacobian, Eigen::ComputeThinV);
    const Eigen::VectorXd singular = svd.singularValues();
    const double largest = singular.size() ? singular[0] : 0.0;
    Covariance covariance{Eigen::MatrixXd::Zero(p, p), std::vector<bool>(static_cast<std::size_t>(p), true)};
    for (Eigen::Index k = 0; k < p; ++k) {
        const double s = singular[k];
        const auto direction = svd.matrixV().col(k);
        if (s > 0 && s > kNotDeterminedCondition * largest) {
            covariance.matrix += direction * direction.transpose() / (s * s);
            continue;
        }
        for (Eigen::Index j = 0; j < p; ++j)
            if (std::abs(direction[j]) > 1e-6)
                covariance.determined[static_cast<std::size_t>(j)] = false;
    }
    for (Eigen::Index k = 0; k < p; ++k)
        if (norm[k] == 0)
            covariance.determined[static_cast<std::size_t>(k)] = false;
    covariance.matrix = variance * scale.asDiagonal().inverse() * covariance.matrix * scale.asDiagonal().inverse();
    return covariance;
}

double rmsOf(const Eigen::VectorXd& residual)
{
    return residual.size() == 0 ? 0.0 : residual.norm() / std::sqrt(static_cast<double>(residual.size()));
}

class FitRun {
public:
    FitRun(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
        : problem_(problem), cancel_(cancel), progress_(progress), layout_(layoutOf(problem))
    {
    }

    FitResult run()
    {
        result_.values = startingValues(problem_);
        result_.pointCount = static_cast<int>(problem_.field.size());
        result_.parameterCount = static_cast<int>(layout_.sets.size()) + int{layout_.varySigma} +
                                 int{layout_.varyCentre} + int{layout_.varyScale};

        if (result_.parameterCount == 0)
            return fail(stopped(FitOutcome::Failed, "Nothing to fit: tick Vary for at least one parameter."));
        if (result_.pointCount <= result_.parameterCount)
            return fail(stopped(FitOutcome::TooFewPoints,
                         "Only " + std::to_string(result_.pointCount) +
                             " observed points lie in the frame, not enough to fit " +
                             std::to_string(result_.parameterCount) +
                             " parameters: widen the display range (G) or vary fewer parameters."));

        std::vector<Pattern> patterns;
        for (const CouplingSet& set : layout_.sets)
            patterns.push_back(patternOf(set.kind, static_cast<int>(set.members.size())));
        const auto base = fixedLines(layout_.fixed);
        const double lines = lineCount(base, patterns);
        if (lines > kMaxFitLines)
            return fail(stopped(FitOutcome::Failed,
                         "This fit would follow " + std::to_string(static_cast<long long>(lines)) +
                             " separate lines, more than the " + std::to_string(static_cast<long>(kMaxFitLines)) +
                             " it can handle. Give equivalent nuclei equal values, or fix some constants."));
        model_.emplace(problem_, buildLineTable(base, patterns));

        points_ = sortedPoints(problem_);
        spacing_ = medianSpacing(points_.field);
        for (const CouplingSet& set : layout_.sets)
            start_.set.push_back(set.start);
        start_.sigma = std::abs(valueOf(problem_, layout_.sigma, 0.1));
        start_.centre = valueOf(problem_, layout_.centre, 0.0);
        scale_ = valueOf(problem_, layout_.scale, 1.0);

        // The curve the plot shows now.
        Normalisation norm;
        model_->place(start_.set);
        if (!model_->normalisation(start_.sigma, false, norm, &cancel_))
            return fail(cancelled());
        if (!(norm.height > 0) || !std::isfinite(norm.height))
            return fail(stopped(FitOutcome::Failed,
                         "The simulated spectrum is flat on the display grid, so it cannot be scaled to the "
                         "observed one: check the display range (G), the points (NoPnts) and the constants."));
        start_.amplitude = 2 * scale_ / norm.height;

        const Pass raw = finalPass();
        Eigen::VectorXd residual;
        if (!residualsAt(raw, start_, residual))
            return fail(cancelled());
        result_.rmsBefore = rmsOf(residual);

        // The user's values first; then starts scattered around them, until
        // what is left over is noise or the best minimum has been found again.
        std::mt19937 random(kStartSeed);
        std::optional<Attempt> best;
        Attempt first;
        int bestFound = 0;
        // Without a varied constant no line moves against the others, and
        // the one minimum near the start is the answer.
        const int starts = layout_.sets.empty() ? 1 : kMaxStarts;
        for (int k = 0; k < starts; ++k) {
            attempt_ = k;
            Attempt attempt = attemptFrom(k == 0 ? start_ : scattered(random), raw);
            if (attempt.outcome == FitOutcome::Cancelled)
                return fail(attempt);
            if (k == 0)
                first = attempt;
            if (attempt.outcome != FitOutcome::Converged)
                continue;
            if (best && std::abs(attempt.rss - best->rss) <= kSameMinimum * best->rss) {
                ++bestFound;
            } else if (!best || attempt.rss < best->rss) {
                best = attempt;
                bestFound = 1;
            }
            if (best->noiseLike || bestFound >= kFoundAgain)
                break;
        }
        if (!best)
            return fail(first);
        current_ = best->values;
        return finish(raw);
    }

private:
    struct Attempt {
        FitOutcome outcome = FitOutcome::Converged;
        std::string message;
        ModelValues values;
        double rss = kInfinity;
        bool noiseLike = false;
    };

    static Attempt stopped(FitOutcome outcome, std::string message)
    {
        Attempt attempt;
        attempt.outcome = outcome;
        attempt.message = std::move(message);
        return attempt;
    }
    static Attempt cancelled() { return stopped(FitOutcome::Cancelled, "Fit cancelled; nothing has changed."); }

    FitResult fail(const Attempt& attempt)
    {
        result_.outcome = attempt.outcome;
        result_.message = attempt.message;
        for (FittedValue& value : result_.values)
            value.value = value.start;
        return result_;
    }

    // A start around the user's values: each constant within 15 %, sigma
    // within 20 %, the centre within two line widths.
    ModelValues scattered(std::mt19937& random) const
    {
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        ModelValues values = start_;
        for (double& value : values.set)
            value *= 1 + kScatterConstant * unit(random);
        if (layout_.varySigma)
            values.sigma *= 1 + kScatterSigma * unit(random);
        if (layout_.varyCentre)
            values.centre += 2 * start_.sigma * unit(random);
        return values;
    }

    // The smoothed passes, then the pass on the raw points.
    Attempt attemptFrom(const ModelValues& from, const Pass& raw)
    {
        current_ = from;
        for (const double width : smoothingWidths(from)) {
            const Pass pass = coarsePass(width, from);
            if (auto stop = minimise(pass, kToleranceCoarse, kMaxEvaluationsCoarse))
                return *stop;
        }
        current_.offset = 0.0;
        if (auto stop = minimise(raw, kToleranceFinal, 200 + 40 * result_.parameterCount))
            return *stop;
        Attempt attempt;
        attempt.values = current_;
        Eigen::VectorXd residual;
        if (!residualsAt(raw, current_, residual))
            return cancelled();
        attempt.rss = residual.squaredNorm();
        attempt.noiseLike = noiseLike(residual);
        return attempt;
    }

    // Whether the residual, in field order, is white noise: its variance is
    // then half the mean square of its point-to-point differences. A wrong
    // minimum leaves line-shaped misfits, which raise the variance far more
    // than the differences.
    static bool noiseLike(const Eigen::VectorXd& residual)
    {
        const Eigen::Index n = residual.size();
        if (n < 3)
            return false;
        const double mean = residual.mean();
        const double variance = (residual.array() - mean).square().sum() / static_cast<double>(n);
        const double differences =
            (residual.tail(n - 1) - residual.head(n - 1)).squaredNorm() / (2.0 * static_cast<double>(n - 1));
        return variance <= kNoiseLikeRatio * differences;
    }

    Pass finalPass() const
    {
        Pass pass;
        pass.field = points_.field;
        pass.data = points_.data;
        pass.varySigma = layout_.varySigma;
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = layout_.varyScale;
        pass.scale = scale_;
        pass.varySet.assign(layout_.sets.size(), true);
        return pass;
    }

    // The smoothed passes: widths from a fraction of the spread of the
    // varied lines down, halving, while they are wider than the line and the
    // sampling can carry them.
    std::vector<double> smoothingWidths(const ModelValues& from) const
    {
        double spread = 0.0;
        for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
            const double n = static_cast<double>(layout_.sets[g].members.size());
            spread += std::abs(from.set[g]) * (layout_.sets[g].kind == FitParameterKind::Hydrogen ? n / 2 : n);
        }
        std::vector<double> widths;
        for (double width = kFirstSmoothingFraction * spread; width > from.sigma && width > 2 * spacing_; width /= 2)
            widths.push_back(width);
        return widths;
    }

    // A smoothed pass varies the sets whose splitting it still resolves;
    // the line width stays as it is, since a smoothed spectrum says little
    // about it.
    Pass coarsePass(double width, const ModelValues& from) const
    {
        Pass pass;
        pass.smoothing = width;
        const auto stride = static_cast<std::size_t>(std::max(1.0, std::floor(width / (2 * spacing_))));
        smooth(points_, width, stride, pass);
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = true;
        pass.varyOffset = true;
        pass.scale = scale_;
        const double lineWidth = std::sqrt(from.sigma * from.sigma + width * width);
        for (const double value : from.set)
            pass.varySet.push_back(std::abs(value) >= kResolvedWidths * lineWidth);
        return pass;
    }

    int parametersOf(const Pass& pass) const
    {
        return static_cast<int>(std::count(pass.varySet.begin(), pass.varySet.end(), true)) + int{pass.varySigma} +
               int{pass.varyCentre} + int{pass.varyAmplitude} + int{pass.varyOffset};
    }

    bool residualsAt(const Pass& pass, const ModelValues& values, Eigen::VectorXd& residual)
    {
        PassFunctor functor(*model_, pass, values, cancel_, parametersOf(pass));
        residual.resize(static_cast<Eigen::Index>(pass.field.size()));
        return functor.evaluate(PassFunctor::pack(values, pass), &residual, nullptr);
    }

    // Runs Levenberg-Marquardt on one pass from the current values. Returns
    // the attempt's end when it has to stop here.
    std::optional<Attempt> minimise(const Pass& pass, double tolerance, int maxEvaluations)
    {
        const int parameters = parametersOf(pass);
        if (parameters == 0 || static_cast<int>(pass.field.size()) <= parameters)
            return std::nullopt;
        PassFunctor functor(*model_, pass, current_, cancel_, parameters);
        Eigen::LevenbergMarquardt<PassFunctor> lm(functor);
        lm.setFtol(tolerance);
        lm.setXtol(tolerance);
        lm.setMaxfev(maxEvaluations);
        Eigen::VectorXd x = PassFunctor::pack(current_, pass);

        auto status = lm.minimizeInit(x);
        while (status == Eigen::LevenbergMarquardtSpace::NotStarted ||
               status == Eigen::LevenbergMarquardtSpace::Running) {
            if (cancel_.load())
                return cancelled();
            status = lm.minimizeOneStep(x);
            if (status == Eigen::LevenbergMarquardtSpace::UserAsked)
                break;
            current_ = functor.unpack(x);
            ++result_.iterations;
            if (progress_)
                progress_({result_.iterations, attempt_ + 1, pass.smoothing,
                           lm.fnorm() / std::sqrt(static_cast<double>(pass.field.size()))});
            if (auto runaway = runAway())
                return stopped(FitOutcome::RunAway, *runaway);
        }
        if (status == Eigen::LevenbergMarquardtSpace::UserAsked) {
            if (functor.stop() == Stop::SigmaZero)
                return stopped(FitOutcome::RunAway, std::string(kSigmaThroughZero));
            return cancelled();
        }
        if (pass.smoothing == 0.0 && status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation)
            return stopped(FitOutcome::NotConverged,
                           "The fit did not converge within " + std::to_string(maxEvaluations) +
                               " evaluations. Bring the simulated trace closer to the observed one by hand, or "
                               "vary fewer parameters, and start again.");
        if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters)
            return stopped(FitOutcome::Failed, "The fit could not start: the problem is not well posed.");
        return std::nullopt;
    }

    // A parameter that left the range where the fit means anything.
    std::optional<std::string> runAway() const
    {
        if (layout_.varySigma && !(current_.sigma > 0))
            return std::string(kSigmaThroughZero);
        const double range = std::abs(problem_.displayRange);
        for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
            if (std::abs(current_.set[g]) > range && std::abs(layout_.sets[g].start) <= range) {
                const std::string names = namesOf(problem_, layout_.sets[g]);
                return names + " ran beyond the display range: the observed spectrum does not hold this coupling. "
                               "Check the number of nuclei, or keep " + names + " fixed.";
            }
        }
        if (layout_.varyCentre && std::abs(current_.centre - start_.centre) > range / 2)
            return "The centre field ran out of the frame: bring the simulated trace closer to the observed one "
                   "and start again.";
        if (!std::isfinite(current_.amplitude) || current_.amplitude * start_.amplitude < 0)
            return "The scale ran through zero, turning the simulated trace upside down: the observed spectrum does "
                   "not look like the simulated one here. Bring the two closer by hand and start again.";
        return std::nullopt;
    }

    FitResult finish(const Pass& raw)
    {
        const int n = static_cast<int>(raw.field.size());
        const int p = parametersOf(raw);
        PassFunctor functor(*model_, raw, current_, cancel_, p);
        const Eigen::VectorXd x = PassFunctor::pack(current_, raw);
        Eigen::VectorXd residual(n);
        Eigen::MatrixXd jacobian(n, p);
        if (!functor.evaluate(x, &residual, &jacobian))
            return fail(cancelled());
        result_.rmsAfter = rmsOf(residual);
        const double variance = residual.squaredNorm() / (n - p);

        Covariance fitted = covarianceOf(std::move(jacobian), variance);
        const Eigen::MatrixXd& covariance = fitted.matrix;
        std::vector<bool>& determined = fitted.determined;
        const auto uncertainty = [&](Eigen::Index k) {
            return determined[static_cast<std::size_t>(k)] ? std::sqrt(std::max(covariance(k, k), 0.0)) : kInfinity;
        };
        // An uncertainty wider than the display range determines nothing either.
        const double range = std::abs(problem_.displayRange);
        const Eigen::Index lengths = raw.varyAmplitude ? p - 1 : p; // all but the amplitude are in gauss
        for (Eigen::Index j = 0; j < lengths; ++j)
            if (uncertainty(j) > range)
                determined[static_cast<std::size_t>(j)] = false;

        std::vector<std::string> undetermined;
        Eigen::Index k = 0;
        // Records column k for the parameters it stands for: their value and
        // uncertainty, and its name when the data leave it undetermined.
        const auto record = [&](const std::vector<std::size_t>& members, double value, double error,
                                std::string name) {
            for (const std::size_t member : members) {
                result_.values[member].value = value;
                result_.values[member].uncertainty = error;
            }
            if (!determined[static_cast<std::size_t>(k)])
                undetermined.push_back(std::move(name));
            ++k;
        };
        for (std::size_t g = 0; g < layout_.sets.size(); ++g)
            record(layout_.sets[g].members, current_.set[g], uncertainty(k), namesOf(problem_, layout_.sets[g]));
        Eigen::Index sigmaColumn = -1;
        if (raw.varySigma) {
            sigmaColumn = k;
            record({*layout_.sigma}, current_.sigma, uncertainty(k), "Sigma");
        }
        if (raw.varyCentre)
            record({*layout_.centre}, current_.centre, uncertainty(k), "GCntr");
        if (raw.varyAmplitude) {
            // Scl = amplitude * height / 2, the height depending on the sets
            // and sigma: its variance by the propagation of the covariance.
            Normalisation norm;
            model_->place(current_.set);
            model_->normalisation(current_.sigma, true, norm, nullptr);
            Eigen::VectorXd gradient = Eigen::VectorXd::Zero(p);
            for (std::size_t g = 0; g < layout_.sets.size(); ++g)
                gradient[static_cast<Eigen::Index>(g)] = current_.amplitude * norm.dSet[g] / 2;
            if (sigmaColumn >= 0)
                gradient[sigmaColumn] = current_.amplitude * norm.dSigma / 2;
            gradient[k] = norm.height / 2;
            bool known = true;
            for (Eigen::Index j = 0; j < p; ++j)
                if (gradient[j] != 0 && !determined[static_cast<std::size_t>(j)])
                    known = false;
            record({*layout_.scale}, current_.amplitude * norm.height / 2,
                   known ? std::sqrt(std::max(gradient.dot(covariance * gradient), 0.0)) : kInfinity, "Scl");
        }
        result_.outcome = FitOutcome::Converged;
        if (!undetermined.empty())
            result_.message = "The observed spectrum does not determine " + joined(undetermined) +
                              ", so their uncertainties are unknown: a splitting hidden in the line width, a "
                              "constant of 0 or two constants that can trade places leave them free. Fix some of "
                              "them, or keep equal constants equal.";
        return result_;
    }

    const FitProblem& problem_;
    const std::atomic<bool>& cancel_;
    const FitProgressCallback& progress_;
    Layout layout_;
    std::optional<Model> model_;
    Points points_;
    double spacing_ = 0.0;
    int attempt_ = 0;
    ModelValues start_;
    ModelValues current_;
    double scale_ = 1.0;
    FitResult result_;
};

} // namespace

// ---------------------------------------------------------------------------

FitResult runFit(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
{
    FitResult failed;
    try {
        return FitRun(problem, cancel, progress).run();
    } catch (const std::bad_alloc&) {
        failed.message = "There is not enough memory for this fit: fix some constants or narrow the frame.";
    } catch (const std::exception& error) {
        failed.message = std::string("The fit failed: ") + error.what();
    } catch (...) {
        failed.message = "The fit failed unexpectedly.";
    }
    failed.outcome = FitOutcome::Failed;
    failed.values = startingValues(problem);
    return failed;
}

std::vector<double> displayedCurve(const FitProblem& problem, const std::vector<double>& fields)
{
    FitProblem fixed = problem;
    for (FitParameter& parameter : fixed.parameters)
        parameter.vary = false;
    const Layout layout = layoutOf(fixed);
    Model model(fixed, buildLineTable(fixedLines(layout.fixed), {}));
    model.place({});
    const double sigma = std::abs(valueOf(fixed, layout.sigma, 0.1));
    Normalisation norm;
    model.normalisation(sigma, false, norm, nullptr);
    const double amplitude = 2 * valueOf(fixed, layout.scale, 1.0) / norm.height;
    const double centre = valueOf(fixed, layout.centre, 0.0);

    const std::vector<std::size_t> order = ascendingOrder(fields);
    std::vector<double> offsets;
    for (const std::size_t i : order)
        offsets.push_back(fields[i] - centre);
    Sums sums;
    model.sums(offsets, sigma, false, sums, nullptr);
    std::vector<double> curve(fields.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        curve[order[k]] = amplitude * sums.value[k];
    return curve;
}

} // namespace ravelle
