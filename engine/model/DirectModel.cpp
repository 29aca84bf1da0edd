#include "engine/model/DirectModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/model/LineShapes.h"

namespace ravelle::model::detail {

namespace {

// Lines sorted by position, those within a few units of the last place
// merged (their weights and slopes added).
void merge(MergedLines& lines)
{
    std::vector<std::size_t> order(lines.position.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return lines.position[a] < lines.position[b]; });
    MergedLines merged;
    merged.slopeGroup = lines.slopeGroup;
    merged.slope.resize(lines.slope.size());
    for (const std::size_t i : order) {
        const double x = lines.position[i];
        if (!merged.position.empty() && x - merged.position.back() <= 4e-16 * std::fabs(x)) {
            merged.weight.back() += lines.weight[i];
            for (std::size_t g = 0; g < lines.slope.size(); ++g)
                merged.slope[g].back() += lines.slope[g][i];
            continue;
        }
        merged.position.push_back(x);
        merged.weight.push_back(lines.weight[i]);
        for (std::size_t g = 0; g < lines.slope.size(); ++g)
            merged.slope[g].push_back(lines.slope[g][i]);
    }
    lines = std::move(merged);
}

// Every line of `lines` split by one more nucleus (its position list); `row`
// is the slope row of that nucleus's group, or -1.
bool split(MergedLines& lines, const std::vector<double>& offsets, const std::vector<double>& probabilities,
           const std::vector<double>& offsetSlopes, int row, std::size_t limit)
{
    if (lines.position.size() * offsets.size() > 4 * limit)
        return false;
    MergedLines next;
    next.slopeGroup = lines.slopeGroup;
    next.slope.resize(lines.slope.size());
    for (std::size_t i = 0; i < lines.position.size(); ++i)
        for (std::size_t j = 0; j < offsets.size(); ++j) {
            next.position.push_back(lines.position[i] + offsets[j]);
            next.weight.push_back(lines.weight[i] * probabilities[j]);
            for (std::size_t g = 0; g < lines.slope.size(); ++g) {
                double slope = lines.slope[g][i] * probabilities[j];
                if (static_cast<int>(g) == row)
                    slope += lines.weight[i] * probabilities[j] * offsetSlopes[j];
                next.slope[g].push_back(slope);
            }
        }
    merge(next);
    lines = std::move(next);
    return lines.position.size() <= limit;
}

// Nanoseconds per line and field, measured.
double shapeCost(const LineWidths& widths)
{
    if (widths.gamma == 0.0)
        return 20.0;
    return widths.sigma == 0.0 ? 15.0 : 120.0;
}

} // namespace

std::optional<std::vector<MergedLines>> mergeModelLines(const PreparedModel& model,
                                                        std::span<const ResolvedQuantity> quantities,
                                                        std::size_t limit)
{
    std::vector<MergedLines> all;
    for (const PreparedSpecies& species : model.species) {
        MergedLines lines;
        lines.position = {0.0};
        lines.weight = {1.0};
        for (const ResolvedQuantity& q : quantities)
            if (q.kind == QuantityKind::Coupling && q.species == species.index && q.group >= 0) {
                lines.slopeGroup.push_back(q.group);
                lines.slope.push_back({0.0});
            }
        for (std::size_t g = 0; g < species.groups.size(); ++g) {
            const PreparedGroup& group = species.groups[g];
            std::vector<double> offsets, probabilities, slopes;
            for (const PositionIsotope& isotope : group.isotopes)
                for (int state = 0; state <= isotope.twiceSpin; ++state) {
                    const double m = state - 0.5 * isotope.twiceSpin;
                    offsets.push_back(m * group.coupling * isotope.scale);
                    probabilities.push_back(isotope.probability / (isotope.twiceSpin + 1));
                    slopes.push_back(m * isotope.scale);
                }
            const auto found = std::find(lines.slopeGroup.begin(), lines.slopeGroup.end(), static_cast<int>(g));
            const int row = found == lines.slopeGroup.end() ? -1 : static_cast<int>(found - lines.slopeGroup.begin());
            for (int n = 0; n < group.count; ++n)
                if (!split(lines, offsets, probabilities, slopes, row, limit))
                    return std::nullopt;
        }
        all.push_back(std::move(lines));
    }
    return all;
}

double distinctLineBound(const PreparedModel& model)
{
    double largest = 0.0;
    for (const PreparedSpecies& species : model.species) {
        double lines = 1.0;
        for (const PreparedGroup& group : species.groups) {
            int offsets = 0;
            for (const PositionIsotope& isotope : group.isotopes)
                offsets += isotope.twiceSpin + 1;
            // C(n + s - 1, s - 1) sums of n offsets out of s; at most (2 I_max n + 1) for one isotope.
            double multisets = 1.0;
            for (int i = 1; i < offsets; ++i)
                multisets = multisets * (group.count + i) / i;
            if (group.isotopes.size() == 1)
                multisets = std::min(multisets, static_cast<double>(group.isotopes[0].twiceSpin * group.count + 1));
            lines *= multisets;
        }
        largest = std::max(largest, lines);
    }
    return largest;
}

double directCost(const PreparedModel& model, const std::vector<MergedLines>& lines, std::size_t points,
                  std::size_t quantities)
{
    double cost = 0.0;
    for (const PreparedSpecies& species : model.species)
        for (const PreparedComponent& component : species.components)
            cost += shapeCost(component.widths) * (quantities > 0 ? 2.5 : 1.0)
                    * static_cast<double>(lines[static_cast<std::size_t>(species.index)].position.size());
    return cost * static_cast<double>(points);
}

std::vector<std::vector<double>> evaluateDirect(const PreparedModel& model, const std::vector<MergedLines>& lines,
                                                std::span<const double> fields,
                                                std::span<const ResolvedQuantity> quantities)
{
    std::vector<std::vector<double>> rows(1 + quantities.size(), std::vector<double>(fields.size(), 0.0));
    for (const PreparedSpecies& species : model.species) {
        const MergedLines& list = lines[static_cast<std::size_t>(species.index)];
        for (const PreparedComponent& c : species.components) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (quantities.empty()) {
                    long double sum = 0.0L;
                    for (std::size_t j = 0; j < list.position.size(); ++j)
                        sum += list.weight[j] * lineSlope(c.widths, fields[i] - (c.centre + list.position[j]));
                    rows[0][i] += c.weight * static_cast<double>(sum);
                    continue;
                }
                for (std::size_t j = 0; j < list.position.size(); ++j) {
                    const LineTerms t = lineTerms(c.widths, fields[i] - (c.centre + list.position[j]));
                    const double p = list.weight[j];
                    rows[0][i] += c.weight * p * t.slope;
                    for (std::size_t q = 0; q < quantities.size(); ++q) {
                        const ResolvedQuantity& quantity = quantities[q];
                        if (quantity.kind != QuantityKind::Field && quantity.species != species.index)
                            continue;
                        const double sigma = species.usesSigma ? p * t.dSigma : 0.0;
                        const double gamma = species.usesGamma ? p * t.dGamma : 0.0;
                        const double m = c.m;
                        double term = 0.0;
                        switch (quantity.kind) {
                        case QuantityKind::Field: term = p * t.curvature; break;
                        case QuantityKind::Shift: term = -p * t.curvature; break;
                        case QuantityKind::Weight: term = p * t.slope; break;
                        case QuantityKind::Coupling:
                            if (quantity.group < 0) {
                                term = -m * p * t.curvature;
                            } else {
                                const auto row = static_cast<std::size_t>(
                                    std::find(list.slopeGroup.begin(), list.slopeGroup.end(), quantity.group)
                                    - list.slopeGroup.begin());
                                term = -list.slope[row][j] * t.curvature;
                            }
                            break;
                        case QuantityKind::Sigma: term = species.sigmaSign * sigma; break;
                        case QuantityKind::SigmaLinear: term = sigma * m; break;
                        case QuantityKind::SigmaQuadratic: term = sigma * m * m; break;
                        case QuantityKind::Gamma: term = gamma; break;
                        case QuantityKind::GammaLinear: term = gamma * m; break;
                        case QuantityKind::GammaQuadratic: term = gamma * m * m; break;
                        }
                        rows[1 + q][i] += (quantity.kind == QuantityKind::Weight ? c.probability : c.weight) * term;
                    }
                }
            }
        }
    }
    return rows;
}

} // namespace ravelle::model::detail
