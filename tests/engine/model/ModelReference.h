#pragma once
// The reference the model is checked against: every line listed, one nucleus
// at a time, and summed in extended precision at every field with no cut-off.

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "engine/model/Isotopes.h"
#include "engine/model/LineShapes.h"
#include "engine/model/Model.h"

namespace ravelle::model::testing {

struct ReferenceLine {
    long double position = 0.0L; // from the species centre
    long double weight = 1.0L;
    long double m = 0.0L;        // total m_I of the width group
};

// One state a single nucleus can be in: offset, probability, its m when it
// belongs to the width group.
struct NucleusState {
    long double offset, probability, m;
};

inline std::vector<std::vector<NucleusState>> nucleusStates(const Species& species)
{
    std::vector<std::vector<NucleusState>> nuclei;
    for (std::size_t g = 0; g < species.groups.size(); ++g) {
        const NucleusGroup& group = species.groups[g];
        const Isotope& own = *findIsotope(group.isotope);
        std::vector<NucleusState> states;
        const auto addIsotope = [&](const Isotope& isotope, long double probability, long double coupling) {
            for (int k = 0; k <= isotope.twiceSpin; ++k) {
                const long double m = k - 0.5L * isotope.twiceSpin;
                states.push_back({m * coupling, probability / (isotope.twiceSpin + 1),
                                  static_cast<int>(g) == species.widthGroup ? m : 0.0L});
            }
        };
        if (group.naturalAbundance) {
            for (const Isotope& isotope : isotopesOfElement(own))
                addIsotope(isotope, isotope.abundance,
                           static_cast<long double>(group.coupling) * isotope.gFactor() / own.gFactor());
        } else {
            addIsotope(own, 1.0L, group.coupling);
        }
        for (int n = 0; n < group.count; ++n)
            nuclei.push_back(states);
    }
    return nuclei;
}

inline std::vector<ReferenceLine> referenceLines(const Species& species)
{
    std::vector<ReferenceLine> lines{ReferenceLine{}};
    for (const auto& states : nucleusStates(species)) {
        std::vector<ReferenceLine> next;
        for (const ReferenceLine& line : lines)
            for (const NucleusState& state : states)
                next.push_back({line.position + state.offset, line.weight * state.probability, line.m + state.m});
        lines.swap(next);
    }
    return lines;
}

// The derivative of a unit-area line in extended precision where the shape
// has a closed form; the Voigt through the Faddeeva function.
inline long double referenceSlope(long double sigma, long double gamma, long double u)
{
    const long double pi = std::numbers::pi_v<long double>;
    if (gamma == 0.0L)
        return -u / (sigma * sigma) * std::exp(-u * u / (2 * sigma * sigma)) / (sigma * std::sqrt(2 * pi));
    if (sigma == 0.0L)
        return -2 * gamma * u / (pi * (u * u + gamma * gamma) * (u * u + gamma * gamma));
    return lineSlope(LineWidths{static_cast<double>(sigma), static_cast<double>(gamma)}, static_cast<double>(u));
}

inline long double widthOf(long double base, const WidthLaw& law, long double m, bool hasLaw)
{
    return hasLaw ? base + law.linear * m + law.quadratic * m * m : base;
}

// F at each field, as the model defines it.
inline std::vector<long double> referenceSum(const Model& model, const std::vector<double>& fields)
{
    std::vector<long double> sums(fields.size(), 0.0L);
    for (const Species& species : model.species) {
        const bool hasLaw = species.widthGroup >= 0;
        const long double sigmaBase = std::fabs(species.sigma);
        for (const ReferenceLine& line : referenceLines(species)) {
            long double sigma = widthOf(sigmaBase, species.sigmaLaw, line.m, hasLaw);
            long double gamma = widthOf(species.gamma, species.gammaLaw, line.m, hasLaw);
            if (species.shape == LineShape::Gaussian)
                gamma = 0.0L;
            if (species.shape == LineShape::Lorentzian)
                sigma = 0.0L;
            if (species.shape == LineShape::Voigt && sigmaBase == 0.0L && species.sigmaLaw.linear == 0.0
                && species.sigmaLaw.quadratic == 0.0)
                sigma = 0.0L;
            const long double centre = species.shift + line.position;
            for (std::size_t i = 0; i < fields.size(); ++i)
                sums[i] += species.weight * line.weight * referenceSlope(sigma, gamma, fields[i] - centre);
        }
    }
    return sums;
}

inline std::vector<double> gridFields(double start, double step, std::size_t count)
{
    std::vector<double> fields(count);
    for (std::size_t i = 0; i < count; ++i)
        fields[i] = start + static_cast<double>(i) * step;
    return fields;
}

inline NucleusGroup group(const char* isotope, int count, double coupling, bool natural = false)
{
    return NucleusGroup{isotope, count, coupling, natural};
}

inline Species species(std::vector<NucleusGroup> groups, LineShape shape, double sigma, double gamma,
                       double weight = 1.0, double shift = 0.0)
{
    Species s;
    s.groups = std::move(groups);
    s.shape = shape;
    s.sigma = sigma;
    s.gamma = gamma;
    s.weight = weight;
    s.shift = shift;
    return s;
}

} // namespace ravelle::model::testing
