#include "engine/TailSigns.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace ravelle {

namespace {

constexpr double kEpsilon = 0x1p-53;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Beyond every line, the lines left out of a sum may change it by no more
// than this share: then it is the exact sum of the stored terms to its own
// rounding.
constexpr double kSettled = 0x1p-64;
// The most terms a point among the lines sums, and the most positions a list
// gathered here may hold: beyond them a point keeps its value.
constexpr std::size_t kMostTerms = 256;
constexpr std::size_t kMostLines = 1024;

// The lines whose stored positions lie within [low, high], merged by
// position; nothing when they fall on more than kMostLines positions.
std::optional<MergedLines> linesWithin(const HyperfineLines& lines, double low, double high)
{
    // Few lines are quickest found one by one; many on few positions by
    // merging them stage by stage.
    std::vector<double> found;
    if (!visitLinesWithin(lines, low, high, [&](double line) {
            found.push_back(line);
            return found.size() <= kMostLines;
        }))
        return mergeLines(lines, low, high, kMostLines);
    std::sort(found.begin(), found.end());
    MergedLines merged;
    for (const double line : found) {
        if (!merged.position.empty() && merged.position.back() == line) {
            merged.weight.back() += 1.0;
        } else {
            merged.position.push_back(line);
            merged.weight.push_back(1.0);
        }
    }
    return merged;
}

// A list of merged lines with the weights as window sums take them.
struct LineList {
    const MergedLines& merged;
    std::vector<double> scaledWeight;

    LineList(const MergedLines& lines, const LineShape& shape) : merged(lines), scaledWeight(lines.weight.size())
    {
        const double scale = shape.windowScale();
        for (std::size_t j = 0; j < scaledWeight.size(); ++j)
            scaledWeight[j] = scale * merged.weight[j];
    }
    // The first entry at or beyond `field`.
    std::size_t from(double field) const
    {
        return static_cast<std::size_t>(std::lower_bound(merged.position.begin(), merged.position.end(), field)
                                        - merged.position.begin());
    }
    // The first entry beyond `field`.
    std::size_t after(double field) const
    {
        return static_cast<std::size_t>(std::upper_bound(merged.position.begin(), merged.position.end(), field)
                                        - merged.position.begin());
    }
};

// The sums of the stored terms of listed lines at the points to settle.
class TailSums {
public:
    TailSums(const LineShape& shape, double cutoff)
        : shape_(shape), cutoff_(cutoff), limit_(std::min(shape.windowLimit(), cutoff))
    {
    }

    // The new sum at x among the lines, from every listed line within the
    // cut-off; the lines not listed lie beyond it. A point amid more listed
    // lines than kMostTerms keeps its value.
    std::optional<double> among(double x, const LineList& list)
    {
        const std::size_t begin = list.from(x - cutoff_);
        const std::size_t end = list.after(x + cutoff_);
        if (end - begin > kMostTerms)
            return std::nullopt;
        if (begin == end)
            return 0.0;
        if (scratch_.term.size() < end - begin)
            scratch_.reserve(end - begin);
        const double* position = list.merged.position.data();
        const double* weight = list.merged.weight.data();
        const std::size_t count = end - begin;
        // Each term of the window with a bound on its error: up to the window
        // limit in one vectorised batch, the few lines beyond it one by one.
        term_.resize(count);
        error_.resize(count);
        const std::size_t innerBegin = std::max(begin, list.from(x - limit_));
        const std::size_t innerEnd = std::min(end, std::max(innerBegin, list.after(x + limit_)));
        shape_.windowSum(x, position + innerBegin, list.scaledWeight.data() + innerBegin, innerEnd - innerBegin,
                         scratch_);
        for (std::size_t j = begin; j < end; ++j) {
            if (j >= innerBegin && j < innerEnd) {
                term_[j - begin] = scratch_.term[j - innerBegin];
                error_[j - begin] = scratch_.termError[j - innerBegin] * kEpsilon;
            } else {
                double error = 0.0;
                term_[j - begin] = farTerm(x, position[j], &error) * weight[j];
                error_[j - begin] = error * weight[j];
            }
        }
        // Where the double terms cannot tell the sign, the literal method's
        // own stored terms replace those whose error could matter, then all;
        // a sum whose sign even they leave open is 0 to within its rounding.
        CertainSum sum = certainSum();
        exact_.assign(count, false);
        for (const bool all : {false, true}) {
            if (sum.certain)
                break;
            const double threshold = all ? 0.0 : std::fabs(sum.value) / (2.0 * static_cast<double>(count));
            for (std::size_t j = 0; j < count; ++j) {
                if (exact_[j] || (!all && error_[j] <= threshold))
                    continue;
                // A double times a weight below 2^11 is exact in extended precision.
                term_[j] = static_cast<long double>(static_cast<double>(shape_.term(x, position[begin + j])))
                           * weight[begin + j];
                error_[j] = weight[begin + j] < 0x1p11 ? 0.0 : static_cast<double>(std::fabs(term_[j])) * 0x1p-63;
                exact_[j] = true;
            }
            sum = certainSum();
        }
        return sum.value;
    }

    // The new sums at a run of points beyond every line (`x`, ascending),
    // from the listed lines within the cut-off, line by line across the
    // points. All terms there have one sign, so any term that is not 0
    // decides it; the lines not listed lie deeper among the lines. Points
    // whose sum stays undecided are NaN.
    const std::vector<double>& beyond(const std::vector<double>& x, const MergedLines& listed)
    {
        std::vector<double>& total = total_;
        total.assign(x.size(), 0.0);
        if (listed.position.empty())
            return total; // no line within the cut-off: every term is 0
        if (scratch_.term.size() < x.size())
            scratch_.reserve(x.size());
        const auto index = [&](double field) {
            return static_cast<std::size_t>(std::lower_bound(x.begin(), x.end(), field) - x.begin());
        };
        const auto& position = listed.position;
        const auto first = std::lower_bound(position.begin(), position.end(), x.front() - cutoff_) - position.begin();
        const auto last = std::upper_bound(position.begin(), position.end(), x.back() + cutoff_) - position.begin();
        for (auto j = static_cast<std::size_t>(first); j < static_cast<std::size_t>(last); ++j) {
            const double line = position[j];
            const double weight = listed.weight[j];
            const std::size_t begin = index(line - cutoff_);
            const std::size_t end = index(std::nextafter(line + cutoff_, kInfinity));
            const std::size_t innerBegin = std::max(begin, index(line - limit_));
            const std::size_t innerEnd =
                std::max(innerBegin, std::min(end, index(std::nextafter(line + limit_, kInfinity))));
            shape_.lineTerms(line, x.data() + innerBegin, innerEnd - innerBegin, scratch_);
            for (std::size_t i = innerBegin; i < innerEnd; ++i)
                total[i] += scratch_.term[i - innerBegin] * weight;
            for (std::size_t i = begin; i < end; ++i) {
                if (i == innerBegin)
                    i = innerEnd;
                if (i == end)
                    break;
                total[i] += farTerm(x[i], line) * weight;
            }
        }
        // Beyond its peak a term shrinks with the distance: where the
        // nearest line's term is 0, so are the others.
        const double outermost = x.front() > 0.0 ? position.back() : position.front();
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (total[i] == 0.0 && std::fabs(x[i] - outermost) < shape_.peakDistance())
                total[i] = std::numeric_limits<double>::quiet_NaN();
        }
        return total;
    }

private:
    // A term far from its line, and the bound on its error (a denormal
    // keeps half a unit of its own). Within a few units of the smallest
    // denormal it is the literal method's own stored term, to tell a
    // denormal from 0.
    double farTerm(double x, double line, double* error = nullptr) const
    {
        double bound = 0.0;
        double term = shape_.farTerm(x, line, bound);
        if (std::fabs(term) < 0x1p-1070) {
            term = static_cast<double>(shape_.term(x, line));
            bound = 0.0;
        }
        if (error != nullptr)
            *error = bound + 0x1p-1074;
        return term;
    }

    struct CertainSum {
        double value = 0.0;
        bool certain = false;
    };

    // The sum of the window's terms, compensated so that its own rounding is
    // far below the terms' errors, and whether its sign is certain.
    CertainSum certainSum() const
    {
        long double total = 0.0L, compensation = 0.0L;
        double magnitude = 0.0, error = 0.0;
        for (std::size_t j = 0; j < term_.size(); ++j) {
            const long double t = term_[j];
            const long double next = total + t;
            compensation += std::fabs(total) >= std::fabs(t) ? (total - next) + t : (t - next) + total;
            total = next;
            magnitude += static_cast<double>(std::fabs(t));
            error += error_[j];
        }
        const auto count = static_cast<double>(term_.size());
        const long double sum = total + compensation;
        const double bound = error + static_cast<double>(std::fabs(sum)) * 0x1p-63 + magnitude * count * count * 0x1p-126
                             + count * 0x1p-1074;
        return {static_cast<double>(sum), std::fabs(sum) > bound};
    }

    const LineShape& shape_;
    double cutoff_;
    double limit_;
    WindowScratch scratch_;
    std::vector<long double> term_;
    std::vector<double> error_;
    std::vector<bool> exact_;
    std::vector<double> total_;
};

// Which side of the lines a field lies on: below (-1), among (0) or above (1).
int sideOf(double x, double extent)
{
    return x < -extent ? -1 : x > extent ? 1 : 0;
}

} // namespace

void settleTailSigns(const HyperfineLines& lines, const LineShape& shape, double cutoff,
                     const std::vector<double>& field, std::vector<std::size_t> points, const KnownLines& known,
                     std::vector<double>& value)
{
    // The list of lines is symmetric about zero, and so are the terms of
    // each pair: at zero their exact sum is 0, whose sign any value there has.
    std::erase_if(points, [&](std::size_t i) { return field[i] == 0.0; });
    if (points.empty())
        return;
    // Ascending in field.
    if (field[points.front()] > field[points.back()])
        std::reverse(points.begin(), points.end());

    const double extent = lines.extent();
    TailSums sums(shape, cutoff);
    std::vector<double> run;
    std::optional<LineList> knownList;
    if (known.merged != nullptr)
        knownList.emplace(*known.merged, shape);
    // Whether the known lines hold every line within the cut-off of x.
    const auto knownAround = [&](double x) {
        return knownList && (known.low <= -extent || x - cutoff > known.low)
               && (known.high >= extent || x + cutoff < known.high);
    };
    const auto settle = [&](std::size_t i, const LineList& list) {
        if (const auto sum = sums.among(field[i], list))
            value[i] = *sum;
    };

    std::size_t k = 0;
    while (k < points.size()) {
        const double x = field[points[k]];
        if (knownAround(x) && sideOf(x, extent) == 0) {
            settle(points[k++], *knownList);
            continue;
        }
        // The run of points on the same side of the lines, or among them
        // and near each other, that one list of lines serves.
        const int side = sideOf(x, extent);
        std::size_t end = k + 1;
        while (end < points.size()) {
            const double next = field[points[end]];
            if (sideOf(next, extent) != side
                || (side == 0 && (next - field[points[end - 1]] > cutoff || knownAround(next))))
                break;
            ++end;
        }
        const double low = field[points[k]];
        const double high = field[points[end - 1]];
        if (side != 0) {
            // Beyond every line: all terms of one sign, the outermost lines
            // the largest. Unless the known lines serve, the lines listed
            // reach as deep among the lines as terms can matter at the
            // nearest point of the run; too many to list, the outermost
            // lines alone still have the sign.
            const bool covered = knownAround(side > 0 ? low : high);
            std::optional<MergedLines> listed;
            if (!covered) {
                const double nearestDistance = side > 0 ? low - extent : -extent - high;
                const double depth = shape.relevantDepth(nearestDistance, lines.lineCount(), kSettled, cutoff);
                listed = side > 0 ? linesWithin(lines, extent - depth, extent)
                                  : linesWithin(lines, -extent, -extent + depth);
                if (!listed)
                    listed = linesWithin(lines, side * extent, side * extent);
            }
            const MergedLines outermost{{side * extent}, {1.0}};
            run.clear();
            for (std::size_t r = k; r < end; ++r)
                run.push_back(field[points[r]]);
            const std::vector<double>& sum = sums.beyond(run, covered ? *known.merged : listed ? *listed : outermost);
            for (std::size_t r = 0; k < end; ++k, ++r) {
                if (!std::isnan(sum[r]))
                    value[points[k]] = sum[r];
            }
            continue;
        }
        // Among the lines: every line within the cut-off of the run, unless
        // too many crowd there to sum quickly (a sum near 0 amid crowded
        // lines is a cancellation, not a tail). Every line left out then
        // lies beyond the cut-off of every point.
        const double expected =
            lines.distinctPositions() * std::min(1.0, (high - low + 2.0 * cutoff) / (2.0 * (extent + cutoff)));
        if (expected <= static_cast<double>(kMostLines)) {
            if (const auto listed = linesWithin(lines, low - cutoff, high + cutoff)) {
                const LineList list(*listed, shape);
                for (; k < end; ++k)
                    settle(points[k], list);
            }
        }
        k = end;
    }
}

} // namespace ravelle
