#include "engine/fit/ModelBuilder.h"

#include <algorithm>
#include <cmath>

namespace ravelle::fit {

ModelBuilder::ModelBuilder(const Layout& layout)
    : base_(layout.model), setQuantities_(layout.sets.size()), quantities_(layout.quantities)
{
    for (std::size_t s = 0; s < base_.species.size(); ++s) {
        model::Species& species = base_.species[s];
        std::vector<bool> inSet(species.groups.size(), false);
        std::vector<model::NucleusGroup> groups;
        int widthGroup = model::kNoWidthGroup;
        for (std::size_t g = 0; g < layout.sets.size(); ++g) {
            const CouplingSet& set = layout.sets[g];
            if (static_cast<std::size_t>(set.species) != s)
                continue;
            int nuclei = 0;
            model::NucleusGroup merged;
            for (const std::size_t member : set.members) {
                const auto index = static_cast<std::size_t>(layout.group[member]);
                inSet[index] = true;
                merged = species.groups[index];
                nuclei += merged.count;
                if (static_cast<int>(index) == species.widthGroup)
                    widthGroup = static_cast<int>(groups.size());
            }
            while (nuclei > 0) {
                merged.count = std::min(nuclei, model::kMaxEquivalentNuclei);
                nuclei -= merged.count;
                setQuantities_[g].push_back(
                    {model::QuantityKind::Coupling, static_cast<int>(s), static_cast<int>(groups.size())});
                groups.push_back(merged);
            }
        }
        for (std::size_t index = 0; index < species.groups.size(); ++index) {
            if (inSet[index])
                continue;
            if (static_cast<int>(index) == species.widthGroup)
                widthGroup = static_cast<int>(groups.size());
            groups.push_back(species.groups[index]);
        }
        species.groups = std::move(groups);
        species.widthGroup = widthGroup;
    }
}

model::Quantity ModelBuilder::shapeQuantity(std::size_t k) const
{
    const ShapeQuantity& quantity = quantities_[k];
    model::QuantityKind kind = model::QuantityKind::Sigma;
    switch (quantity.kind) {
    case FitParameterKind::Gamma:
        kind = model::QuantityKind::Gamma;
        break;
    case FitParameterKind::Weight:
        kind = model::QuantityKind::Weight;
        break;
    case FitParameterKind::Shift:
        kind = model::QuantityKind::Shift;
        break;
    case FitParameterKind::SigmaB:
        kind = model::QuantityKind::SigmaLinear;
        break;
    case FitParameterKind::SigmaC:
        kind = model::QuantityKind::SigmaQuadratic;
        break;
    case FitParameterKind::GammaB:
        kind = model::QuantityKind::GammaLinear;
        break;
    case FitParameterKind::GammaC:
        kind = model::QuantityKind::GammaQuadratic;
        break;
    default:
        break;
    }
    return {kind, quantity.species, 0};
}

model::Model ModelBuilder::at(const ModelValues& values, double smoothing, double widthFactor) const
{
    model::Model model = base_;
    for (std::size_t g = 0; g < setQuantities_.size(); ++g)
        for (const model::Quantity& piece : setQuantities_[g])
            model.species[static_cast<std::size_t>(piece.species)].groups[static_cast<std::size_t>(piece.group)]
                .coupling = values.set[g];
    for (std::size_t k = 0; k < quantities_.size(); ++k) {
        const ShapeQuantity& quantity = quantities_[k];
        const double factor = isWidth(quantity.kind) ? widthFactor : 1.0;
        quantityOf(model.species[static_cast<std::size_t>(quantity.species)], quantity.kind) =
            values.quantity[k] * factor;
    }
    if (smoothing > 0) {
        for (model::Species& species : model.species) {
            if (species.shape == model::LineShape::Lorentzian) {
                species.shape = model::LineShape::Voigt;
                species.sigma = smoothing;
                species.sigmaLaw = {};
            } else {
                species.sigma = std::hypot(species.sigma, smoothing);
            }
        }
    }
    return model;
}

} // namespace ravelle::fit
