#pragma once

#include <optional>
#include <vector>

#include "commands/ModelTexts.h"
#include "engine/model/Model.h"

// The Model window's texts read into numbers, at the moment Calculate, a
// stepper or the fit reads the main window's boxes.
namespace ravelle {

struct ModelSettings {
    // Species 1 as the Model window adds to the main window's boxes: its line
    // shape, gamma, extra groups and width law (widthGroup an index into
    // these groups). Its sigma comes from the Sigma box.
    model::Species first;
    // Species 2, 3, ...: complete, their shifts in gauss from the centre field.
    std::vector<model::Species> further;
    double baselineOffset = 0.0;
    double baselineSlope = 0.0; // per gauss, about the centre field
    std::optional<double> frequencyGHz;

    // Whether the document's Gaussian synthesis gives the spectrum: Gaussian
    // lines, no extra group, no width law, no further species. The baseline
    // and the frequency do not matter for that.
    bool isDocumentModel() const;
    bool hasBaseline() const { return baselineOffset != 0.0 || baselineSlope != 0.0; }
};

// Reads every field of `texts`: numbers with the system's decimal separator
// or ".", as the boxes take them. A g-value shift becomes a shift in gauss
// from `centreField` (which must then be greater than 0 only through the
// resulting field). Throws UserError naming the field at the first one that
// holds no usable value; the engine's own checks of the finished model
// (validateModel) come on top of these.
ModelSettings readModelSettings(const ModelTexts& texts, char decimalSeparator, double centreField);

// The whole model: species 1 from the hydrogen and nitrogen constants, the
// Sigma value and `settings.first`, then the further species.
model::Model buildModel(const ModelSettings& settings, const std::vector<double>& couplingH,
                        const std::vector<double>& couplingN, double sigma);

} // namespace ravelle
