#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <vector>

// The hyperfine stick spectrum described by its stages rather than listed:
// the positions the expansion stores, with their rounding, without an array
// of every line.
namespace ravelle {

// One expansion stage: a hydrogen splits every line into line - a/2 and
// line + a/2, a nitrogen into line - b, line and line + b. Each new position
// is computed in extended precision and stored as a double.
struct HyperfineStage {
    long double offset = 0.0L; // a/2 or b, sign as typed
    bool nitrogen = false;
};

// Nuclei of one kind with the same nonzero |offset|: equivalent nuclei,
// whose lines fall on the same positions up to rounding.
struct EquivalentNuclei {
    long double offset = 0.0L; // |a/2| or |b|
    bool nitrogen = false;
    int count = 0;
};

// A position of the next stage exactly as the expansion stores it (infinite
// when it overflows).
inline double storedLine(double line, long double offset)
{
    return static_cast<double>(static_cast<long double>(line) + offset);
}

class HyperfineLines {
public:
    HyperfineLines(const std::vector<double>& couplingH, const std::vector<double>& couplingN);

    const std::vector<HyperfineStage>& stages() const { return stages_; }
    // The stages with a nonzero offset, grouped by kind and |offset|, in the
    // order each group first appears.
    const std::vector<EquivalentNuclei>& equivalentNuclei() const { return equivalent_; }
    // 2^nH 3^nN, the number of lines with their repetitions.
    double lineCount() const { return lineCount_; }
    // Whether some stored position would be beyond the double range; the
    // expansion then fails with the overflow error.
    bool overflows() const { return !std::isfinite(extent_); }
    // The largest |position| of a stored line (the list is symmetric).
    double extent() const { return extent_; }
    // The first line of the list: every digit at its lowest.
    double firstLine() const { return firstLine_; }
    // A bound on |stored line - exact sum of its offsets| for every line.
    double roundingDrift() const { return drift_; }
    // How many distinct positions the lines fall on, from the groups of
    // equal constants (rounding can split a few more).
    double distinctPositions() const
    {
        double positions = 1.0;
        for (const EquivalentNuclei& group : equivalent_)
            positions *= group.nitrogen ? 2.0 * group.count + 1.0 : group.count + 1.0;
        return positions;
    }

    // A bound on how far the lines that descend from a position stored after
    // `done` stages can lie from it: the remaining offsets and their rounding.
    double reach(std::size_t done, double position) const
    {
        const double remaining = remaining_[done];
        const auto stagesLeft = static_cast<double>(stages_.size() - done);
        return remaining + stagesLeft * 2.3e-16 * (std::fabs(position) + remaining) + 1e-300;
    }

private:
    std::vector<HyperfineStage> stages_;
    std::vector<EquivalentNuclei> equivalent_;
    std::vector<double> remaining_; // sum of |offset| over the stages from k on
    double lineCount_ = 1.0;
    double extent_ = 0.0;
    double firstLine_ = 0.0;
    double drift_ = 0.0;
};

// Distinct stored positions, ascending, with how many lines fall on each.
struct MergedLines {
    std::vector<double> position;
    std::vector<double> weight;
};

// The lines that can lie within [low, high], merged where their stored
// positions are equal; lines that cannot reach the interval are dropped as
// early as possible. Nothing when some stage would need more than `limit`
// distinct positions.
std::optional<MergedLines> mergeLines(const HyperfineLines& lines, double low, double high, std::size_t limit);

namespace detail {

// False once a visit has asked to stop.
template <typename Visit>
bool visitLinesFrom(const HyperfineLines& lines, std::size_t done, double position, double low, double high,
                    Visit& visit)
{
    const auto& stages = lines.stages();
    if (done == stages.size()) {
        if (position >= low && position <= high) {
            if constexpr (std::is_same_v<std::invoke_result_t<Visit&, double>, bool>)
                return visit(position);
            else
                visit(position);
        }
        return true;
    }
    const double reach = lines.reach(done, position);
    if (position + reach < low || position - reach > high)
        return true;
    const HyperfineStage& stage = stages[done];
    return visitLinesFrom(lines, done + 1, storedLine(position, -stage.offset), low, high, visit)
           && (!stage.nitrogen || visitLinesFrom(lines, done + 1, position, low, high, visit))
           && visitLinesFrom(lines, done + 1, storedLine(position, stage.offset), low, high, visit);
}

} // namespace detail

// Calls visit(position) for every line of the list whose stored position lies
// within [low, high], in list order, skipping whole branches that cannot
// reach the interval. A visit that returns a bool stops the walk by
// returning false, and so does visitLinesWithin then. Requires
// !lines.overflows().
template <typename Visit>
bool visitLinesWithin(const HyperfineLines& lines, double low, double high, Visit&& visit)
{
    return detail::visitLinesFrom(lines, 0, 0.0, low, high, visit);
}

} // namespace ravelle
