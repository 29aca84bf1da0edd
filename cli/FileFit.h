#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/ParameterSet.h"

// One spectrum file fitted as the window would fit it: the parameter set
// opened, the file imported, the fit started from the set's values with the
// chosen parameters varied, the fitted values kept. This is the one place
// that talks to the fit; everything else sees texts.
namespace ravelle::cli {

struct FitSettings {
    ParameterSet start;
    std::vector<std::string> vary; // command-line names, in the order of offeredParameters
};

// A fit parameter's name on the command line: its box ("H1", "Sigma",
// "GCntr", "Scl") or its Model-window field with "/" for the commas that
// separate names in --vary ("Species 2/weight", "Baseline offset").
std::string commandLineName(std::string_view fitName);

// A parameter the fit offers for a set: its command-line name and whether
// the fit dialog ticks it before the user changes anything.
struct OfferedParameter {
    std::string name;
    bool variedByDefault = true;
};

// The parameters the fit offers for the set, in the dialog's order: the H and
// N boxes as far as they are set, Sigma, the Model window's Gamma and groups,
// GCntr, Scl, the baseline, further species. Throws UserError where the set's
// boxes or fields do not convert or lack what every fit needs.
std::vector<OfferedParameter> offeredParameters(const ParameterSet& set);

struct FittedText {
    std::string value;       // rounded to what its uncertainty supports
    std::string uncertainty; // standard uncertainty; "inf" where the data do not determine it
};

struct FileFit {
    bool ok = false;
    std::string outcome; // "ok", or why the file has no fitted values
    std::vector<FittedText> values; // one per varied parameter, in settings order; empty unless ok
    std::string g;            // at the fitted centre, where the microwave frequency is known
    std::string gUncertainty; // from the centre's uncertainty; empty where the centre was fixed
    std::string rmsBefore;    // empty where the fit did not run
    std::string rmsAfter;
    std::string points;
    std::string iterations;
    std::optional<ParameterSet> fitted; // the set with the fitted values kept, when ok
    std::vector<std::string> notices;   // what the import said on the way
};

// Never throws: whatever goes wrong becomes the outcome. `fileName` must be
// absolute (the import changes the working folder).
FileFit fitFile(const FitSettings& settings, const std::string& fileName);

} // namespace ravelle::cli
