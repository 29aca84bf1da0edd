#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/model/LineShapes.h"
#include "engine/model/Model.h"

// A checked model taken apart into what the computations use: per species the
// nucleus groups that split every line, and the components, one per total m
// of the group that sets the widths (one when none does), each with its own
// weight, centre and widths.
namespace ravelle::model::detail {

// An isotope that can sit at one position of a group.
struct PositionIsotope {
    double probability = 1.0;
    int twiceSpin = 1;  // 0: no splitting
    double scale = 1.0; // its coupling over the group's coupling
};

struct PreparedGroup {
    int count = 1;
    double coupling = 0.0;
    std::vector<PositionIsotope> isotopes;
    int source = -1; // the group of Species::groups; -1 when several equal groups were merged
    std::string_view isotope;
    bool natural = false;
    bool kept = false; // never merged with another
    // Half the spread of its lines: count * max over isotopes of I |a scale|.
    double extent() const;
};

struct PreparedComponent {
    double probability = 1.0; // of its total m; the weight is species weight times this
    double weight = 0.0;
    double m = 0.0;
    double centre = 0.0; // species shift + m a
    LineWidths widths;
};

struct PreparedSpecies {
    int index = 0;        // in Model::species
    double weight = 0.0;
    double sigmaSign = 1.0; // d|sigma|/dsigma
    bool usesSigma = false;
    bool usesGamma = false;
    std::vector<PreparedGroup> groups; // every group but the width group
    int widthSource = kNoWidthGroup;   // the width group in Species::groups
    double widthCoupling = 0.0;
    std::vector<PreparedComponent> components;
    double extent = 0.0; // sum of the groups' extents
};

struct PreparedModel {
    std::vector<PreparedSpecies> species; // as in Model::species
};

// Checks the model (throws UserError) and takes it apart. Equal groups of a
// species are merged, except those for which `keepGroup(species, group)` is
// true (couplings to be differentiated).
PreparedModel prepareModel(const Model& model, const std::function<bool(int, int)>& keepGroup);

// The probabilities of the total m = -nI ... nI of n nuclei of spin I: the
// coefficients of (1 + x + ... + x^(2I))^n over (2I + 1)^n.
std::vector<double> totalSpinProbabilities(int twiceSpin, int count);

// The largest value of |V'| of one unit-area line, at most.
double lineSlopeBound(const LineWidths& widths);

} // namespace ravelle::model::detail

#include "engine/model/Evaluation.h"

namespace ravelle::model::detail {

// A quantity in terms of the prepared model: for a coupling, the prepared
// group, or -1 for the group that sets the widths.
struct ResolvedQuantity {
    QuantityKind kind = QuantityKind::Field;
    int species = -1;
    int group = -1;
};

// Throws std::invalid_argument for a species or group that does not exist.
ResolvedQuantity resolveQuantity(const PreparedModel& model, const Quantity& quantity);

// Whether Coupling quantities name group `group` of species `species`: such
// groups must not be merged with equal ones.
bool namesGroup(std::span<const Quantity> quantities, int species, int group);

} // namespace ravelle::model::detail
