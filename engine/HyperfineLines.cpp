#include "engine/HyperfineLines.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

namespace ravelle {

namespace {

// The exponent of the lowest set bit of a nonzero value.
int lowestBitExponent(long double value)
{
    int exponent = 0;
    const long double mantissa = std::frexp(std::fabs(value), &exponent); // in [0.5, 1)
    const auto bits = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
    return exponent - 64 + std::countr_zero(bits);
}

// Appends a position with its weight, adding to the last entry when equal.
inline void append(MergedLines& out, double position, double weight)
{
    if (!out.position.empty() && out.position.back() == position)
        out.weight.back() += weight;
    else {
        out.position.push_back(position);
        out.weight.push_back(weight);
    }
}

// Merges two ascending weighted lists into `out` (cleared first).
void mergeSorted(const std::vector<double>& posA, const std::vector<double>& weightA,
                 const std::vector<double>& posB, const std::vector<double>& weightB, MergedLines& out)
{
    out.position.clear();
    out.weight.clear();
    std::size_t a = 0, b = 0;
    while (a < posA.size() || b < posB.size()) {
        if (b == posB.size() || (a < posA.size() && posA[a] <= posB[b])) {
            append(out, posA[a], weightA[a]);
            ++a;
        } else {
            append(out, posB[b], weightB[b]);
            ++b;
        }
    }
}

} // namespace

HyperfineLines::HyperfineLines(const std::vector<double>& couplingH, const std::vector<double>& couplingN)
{
    for (const double a : couplingH)
        stages_.push_back({0.5L * a, false});
    for (const double b : couplingN)
        stages_.push_back({static_cast<long double>(b), true});

    for (const HyperfineStage& stage : stages_) {
        const long double offset = std::fabs(stage.offset);
        if (offset == 0.0L)
            continue;
        auto same = std::find_if(equivalent_.begin(), equivalent_.end(), [&](const EquivalentNuclei& group) {
            return group.offset == offset && group.nitrogen == stage.nitrogen;
        });
        if (same == equivalent_.end())
            equivalent_.push_back({offset, stage.nitrogen, 1});
        else
            ++same->count;
    }

    remaining_.assign(stages_.size() + 1, 0.0);
    long double remaining = 0.0L;
    for (std::size_t k = stages_.size(); k-- > 0;) {
        remaining += std::fabs(stages_[k].offset);
        // Rounded up, so that it stays a bound.
        remaining_[k] = static_cast<double>(remaining) * (1.0 + 1e-15);
    }

    // Rounding is monotonic, so the largest stored position follows the
    // largest one of the stage before; the list is symmetric about zero.
    double largest = 0.0;
    double first = 0.0;
    long double drift = 0.0L;
    int lowestBit = std::numeric_limits<int>::max();
    for (const HyperfineStage& stage : stages_) {
        lineCount_ *= stage.nitrogen ? 3.0 : 2.0;
        largest = storedLine(largest, std::fabs(stage.offset));
        first = storedLine(first, -stage.offset);
        drift += std::fabs(static_cast<long double>(largest)) * (0x1p-53L + 0x1p-64L);
        if (stage.offset != 0.0L)
            lowestBit = std::min(lowestBit, lowestBitExponent(stage.offset));
    }
    extent_ = largest;
    firstLine_ = first;
    // Offsets on a common binary grid whose sums fit a double add exactly.
    const bool exact = lowestBit == std::numeric_limits<int>::max()
                       || (std::isfinite(largest) && largest < std::ldexp(1.0, std::min(lowestBit + 53, 1000)));
    drift_ = exact ? 0.0 : static_cast<double>(drift);
}

std::optional<MergedLines> mergeLines(const HyperfineLines& lines, double low, double high, std::size_t limit)
{
    MergedLines current{{0.0}, {1.0}};
    MergedLines next, spare;
    std::vector<double> lowerPos, upperPos;
    const auto& stages = lines.stages();
    for (std::size_t k = 0; k < stages.size(); ++k) {
        const HyperfineStage& stage = stages[k];
        const std::size_t count = current.position.size();
        lowerPos.resize(count);
        upperPos.resize(count);
        for (std::size_t j = 0; j < count; ++j) {
            lowerPos[j] = storedLine(current.position[j], -stage.offset);
            upperPos[j] = storedLine(current.position[j], stage.offset);
        }
        mergeSorted(lowerPos, current.weight, upperPos, current.weight, next);
        if (stage.nitrogen) {
            // The middle digit keeps every position as it is.
            mergeSorted(next.position, next.weight, current.position, current.weight, spare);
            std::swap(next, spare);
        }
        std::swap(current, next);

        // Drop what cannot reach [low, high] any more; the list is ascending
        // and every entry has nearly the same reach, so only the ends go.
        std::size_t begin = 0;
        std::size_t end = current.position.size();
        while (begin < end && current.position[begin] + lines.reach(k + 1, current.position[begin]) < low)
            ++begin;
        while (end > begin && current.position[end - 1] - lines.reach(k + 1, current.position[end - 1]) > high)
            --end;
        if (begin > 0 || end < current.position.size()) {
            current.position.erase(current.position.begin() + static_cast<std::ptrdiff_t>(end), current.position.end());
            current.weight.erase(current.weight.begin() + static_cast<std::ptrdiff_t>(end), current.weight.end());
            current.position.erase(current.position.begin(), current.position.begin() + static_cast<std::ptrdiff_t>(begin));
            current.weight.erase(current.weight.begin(), current.weight.begin() + static_cast<std::ptrdiff_t>(begin));
        }
        if (current.position.size() > limit)
            return std::nullopt;
    }
    return current;
}

} // namespace ravelle
