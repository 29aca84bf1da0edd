#pragma once

#include <string>
#include <vector>

#include "engine/model/Model.h"

// The Model window's whole content as the user typed it: texts and choices,
// like the main window's boxes. A parameter set saves and restores it byte
// for byte; Calculate, the steppers and the fit read it through
// readModelSettings (commands/ModelReading.h). The start-up values are the
// default model: Gaussian lines, no extra nucleus groups, no further species,
// no baseline and no microwave frequency.
namespace ravelle {

// One group of equivalent nuclei.
struct GroupTexts {
    std::string isotope = "1H"; // a name of the isotope table: "1H", "13C", "14N", ...
    std::string count = "1";    // equivalent nuclei, 1 ... 30
    std::string coupling = "0"; // gauss, for that isotope
    bool naturalAbundance = false;

    bool operator==(const GroupTexts&) const = default;
};

// Widths that depend on the total m_I of one group of the species:
// Sigma + B m + C m^2, likewise Gamma. An empty group text: no such law.
struct WidthLawTexts {
    std::string group;       // "" or the group's number within its species, "1", "2", ...
    std::string sigmaB = "0";
    std::string sigmaC = "0";
    std::string gammaB = "0";
    std::string gammaC = "0";

    bool operator==(const WidthLawTexts&) const = default;
};

// A further species (2, 3, ...): everything of its own.
struct SpeciesTexts {
    std::vector<GroupTexts> groups;
    std::string weight = "1";   // relative amount
    std::string shift = "0";    // gauss from the centre field, or a g-value (below)
    bool shiftIsGValue = false; // the shift text is a g-value (needs the frequency)
    model::LineShape shape = model::LineShape::Gaussian;
    std::string sigma = "0.1";  // gauss
    std::string gamma = "0.1";  // gauss
    WidthLawTexts widthLaw;

    bool operator==(const SpeciesTexts&) const = default;
};

struct ModelTexts {
    // Species 1: the main window's H and N boxes and Sigma, plus these.
    model::LineShape shape = model::LineShape::Gaussian;
    std::string gamma = "0.1";        // gauss; not used by the Gaussian line
    std::vector<GroupTexts> groups;   // extra nucleus groups, after the H and N boxes
    WidthLawTexts widthLaw;           // its group numbers count the extra groups only

    // The baseline added to the drawn trace after its scaling:
    // offset + slope (field - centre field).
    std::string offset = "0";
    std::string slope = "0"; // per gauss

    std::string frequency; // GHz; empty: not set

    std::vector<SpeciesTexts> species; // species 2, 3, ...

    bool operator==(const ModelTexts&) const = default;
};

} // namespace ravelle
