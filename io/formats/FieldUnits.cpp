#include "io/formats/FieldUnits.h"

#include <cmath>

#include "io/formats/TextScan.h"

namespace ravelle::formats {

double gaussPer(FieldUnit unit)
{
    switch (unit) {
    case FieldUnit::gauss: return 1.0;
    case FieldUnit::millitesla: return 10.0;
    case FieldUnit::tesla: return 10000.0;
    }
    return 1.0;
}

const char* unitName(FieldUnit unit)
{
    switch (unit) {
    case FieldUnit::gauss: return "G";
    case FieldUnit::millitesla: return "mT";
    case FieldUnit::tesla: return "T";
    }
    return "";
}

std::optional<FieldUnit> fieldUnitNamed(std::string_view name)
{
    name = trimBlanks(name);
    if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'')
        name = trimBlanks(name.substr(1, name.size() - 2));
    if (equalsIgnoringCase(name, "G") || equalsIgnoringCase(name, "gauss"))
        return FieldUnit::gauss;
    if (equalsIgnoringCase(name, "mT") || equalsIgnoringCase(name, "millitesla"))
        return FieldUnit::millitesla;
    if (equalsIgnoringCase(name, "T") || equalsIgnoringCase(name, "tesla"))
        return FieldUnit::tesla;
    return std::nullopt;
}

FieldUnit unitNearestFreeElectron(double typicalField, double frequencyGHz)
{
    // h / muB in gauss per GHz (CODATA 2018: h = 6.62607015e-34 J s,
    // muB = 9.2740100783e-24 J/T).
    constexpr double kGaussPerGHzAtGOne = 714.4773;
    constexpr double kFreeElectronG = 2.0023;
    FieldUnit best = FieldUnit::gauss;
    double bestDistance = INFINITY;
    for (const FieldUnit unit : {FieldUnit::gauss, FieldUnit::millitesla, FieldUnit::tesla}) {
        const double g = kGaussPerGHzAtGOne * frequencyGHz / (std::fabs(typicalField) * gaussPer(unit));
        const double distance = std::fabs(std::log(g / kFreeElectronG));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = unit;
        }
    }
    return best;
}

} // namespace ravelle::formats
