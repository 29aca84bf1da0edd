#include "engine/model/Model.h"

#include <cmath>
#include <string>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/LineShapes.h"
#include "engine/model/Prepared.h"

namespace ravelle::model {

Species speciesFromBoxes(const std::vector<double>& couplingH, const std::vector<double>& couplingN, Species settings)
{
    Species species = std::move(settings);
    std::vector<NucleusGroup> groups;
    groups.reserve(couplingH.size() + couplingN.size() + species.groups.size());
    for (const double a : couplingH)
        groups.push_back(NucleusGroup{"1H", 1, a, false});
    for (const double b : couplingN)
        groups.push_back(NucleusGroup{"14N", 1, b, false});
    const auto boxGroups = static_cast<int>(groups.size());
    groups.insert(groups.end(), species.groups.begin(), species.groups.end());
    species.groups = std::move(groups);
    if (species.widthGroup != kNoWidthGroup)
        species.widthGroup += boxGroups;
    return species;
}

void validateModel(const Model& model)
{
    detail::prepareModel(model, {});
}

double peakToPeakWidth(LineShape shape, double sigma, double gamma)
{
    Species species;
    species.shape = shape;
    species.sigma = sigma;
    species.gamma = gamma;
    const detail::PreparedModel prepared = detail::prepareModel(Model{{species}}, {});
    return derivativePeakToPeak(prepared.species.front().components.front().widths);
}

} // namespace ravelle::model
