#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "engine/model/Prepared.h"

// The model summed line by line in real space, for lines so narrow that the
// Fourier series would need too many frequencies: every line of a species
// listed once per position (coincident lines merged), no cut-off.
namespace ravelle::model::detail {

struct MergedLines {
    std::vector<double> position; // offsets from the component centre
    std::vector<double> weight;   // sum 1 per species
    // Per differentiated group: sum of weight x d(position)/d(coupling).
    std::vector<std::vector<double>> slope;
    std::vector<int> slopeGroup; // which prepared group each row is for
};

// Nothing when some species has more than `limit` distinct lines.
std::optional<std::vector<MergedLines>> mergeModelLines(const PreparedModel& model,
                                                        std::span<const ResolvedQuantity> quantities,
                                                        std::size_t limit);

// An upper bound on the number of distinct lines of the largest species,
// without listing them: per group the number of multisets of its nuclei's
// single offsets.
double distinctLineBound(const PreparedModel& model);

// Predicted nanoseconds to sum those lines at `points` fields.
double directCost(const PreparedModel& model, const std::vector<MergedLines>& lines, std::size_t points,
                  std::size_t quantities);

// F and its derivatives with respect to each quantity at each field: row 0
// is F, row 1 + q the derivative with respect to quantities[q].
std::vector<std::vector<double>> evaluateDirect(const PreparedModel& model, const std::vector<MergedLines>& lines,
                                                std::span<const double> fields,
                                                std::span<const ResolvedQuantity> quantities);

} // namespace ravelle::model::detail
