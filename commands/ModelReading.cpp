#include "commands/ModelReading.h"

#include <cmath>
#include <string>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/GValue.h"
#include "engine/model/Isotopes.h"

namespace ravelle {

namespace {

class FieldReader {
public:
    explicit FieldReader(char separator) : separator_(separator) {}

    double real(const std::string& field, const std::string& text) const
    {
        const std::optional<long double> value = tryParseRealEitherPoint(text, separator_);
        if (!value || !std::isfinite(static_cast<double>(*value)))
            throw UserError(messages::modelFieldNotANumber(field, text));
        return static_cast<double>(*value);
    }

    int whole(const std::string& field, const std::string& text) const
    {
        const std::optional<long double> value = tryParseRealEitherPoint(text, separator_);
        if (!value || *value != std::floor(*value) || std::fabs(*value) > 1e9)
            throw UserError(messages::modelFieldNotAWholeNumber(field, text));
        return static_cast<int>(*value);
    }

private:
    char separator_;
};

// "Species 2, ": how the fields of a species begin.
std::string speciesField(int species)
{
    return "Species " + std::to_string(species) + ", ";
}

std::string groupField(const std::string& owner, std::size_t group, const char* what)
{
    return owner + "group " + std::to_string(group + 1) + ", " + what;
}

// The groups as the window numbers them. The engine checks them again, but
// it counts species 1's groups after those of the H and N boxes, so its own
// numbers would not be the ones the user sees.
std::vector<model::NucleusGroup> readGroups(const FieldReader& reader, const std::vector<GroupTexts>& texts,
                                            int species)
{
    const std::string owner = speciesField(species);
    std::vector<model::NucleusGroup> groups;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const int number = static_cast<int>(k) + 1;
        model::NucleusGroup group;
        group.isotope = texts[k].isotope;
        const model::Isotope* isotope = model::findIsotope(group.isotope);
        if (isotope == nullptr)
            throw UserError(messages::groupProblem(species, number, messages::kUnknownIsotope));
        group.count = reader.whole(groupField(owner, k, "number of nuclei"), texts[k].count);
        if (group.count < 1 || group.count > model::kMaxEquivalentNuclei)
            throw UserError(messages::groupProblem(species, number, messages::badNucleusCount()));
        group.coupling = reader.real(groupField(owner, k, "coupling"), texts[k].coupling);
        group.naturalAbundance = texts[k].naturalAbundance;
        if (group.naturalAbundance && isotope->twiceSpin == 0)
            throw UserError(messages::groupProblem(species, number, messages::kNaturalNeedsSpin));
        groups.push_back(std::move(group));
    }
    return groups;
}

void readWidthLaw(const FieldReader& reader, const WidthLawTexts& texts, const std::string& owner,
                  model::Species& species)
{
    if (texts.group.empty())
        return;
    species.widthGroup = reader.whole(owner + "width group", texts.group) - 1;
    species.sigmaLaw = {reader.real(owner + "Sigma B", texts.sigmaB), reader.real(owner + "Sigma C", texts.sigmaC)};
    species.gammaLaw = {reader.real(owner + "Gamma B", texts.gammaB), reader.real(owner + "Gamma C", texts.gammaC)};
}

} // namespace

bool ModelSettings::isDocumentModel() const
{
    return first.shape == model::LineShape::Gaussian && first.groups.empty() &&
           first.widthGroup == model::kNoWidthGroup && further.empty();
}

ModelSettings readModelSettings(const ModelTexts& texts, char decimalSeparator, double centreField)
{
    const FieldReader reader(decimalSeparator);
    ModelSettings settings;
    settings.first.shape = texts.shape;
    if (texts.shape != model::LineShape::Gaussian)
        settings.first.gamma = reader.real("Gamma", texts.gamma);
    settings.first.groups = readGroups(reader, texts.groups, 1);
    readWidthLaw(reader, texts.widthLaw, speciesField(1), settings.first);
    settings.baselineOffset = reader.real("Baseline offset", texts.offset);
    settings.baselineSlope = reader.real("Baseline slope", texts.slope);
    if (!texts.frequency.empty()) {
        const double frequency = reader.real("Microwave frequency", texts.frequency);
        if (!(frequency > 0))
            throw UserError(std::string(messages::kBadFrequency));
        settings.frequencyGHz = frequency;
    }

    for (std::size_t s = 0; s < texts.species.size(); ++s) {
        const SpeciesTexts& speciesTexts = texts.species[s];
        const int number = static_cast<int>(s) + 2;
        const std::string owner = speciesField(number);
        model::Species species;
        species.groups = readGroups(reader, speciesTexts.groups, number);
        species.weight = reader.real(owner + "weight", speciesTexts.weight);
        const double shift = reader.real(owner + "shift", speciesTexts.shift);
        if (speciesTexts.shiftIsGValue) {
            if (!settings.frequencyGHz)
                throw UserError(owner + std::string(messages::kShiftAsGNeedsFrequency));
            if (!(shift > 0))
                throw UserError(owner + std::string(messages::kBadGValueShift));
            species.shift = model::fieldOfGValue(shift, *settings.frequencyGHz) - centreField;
        } else {
            species.shift = shift;
        }
        species.shape = speciesTexts.shape;
        if (species.shape != model::LineShape::Lorentzian)
            species.sigma = reader.real(owner + "Sigma", speciesTexts.sigma);
        if (species.shape != model::LineShape::Gaussian)
            species.gamma = reader.real(owner + "Gamma", speciesTexts.gamma);
        readWidthLaw(reader, speciesTexts.widthLaw, owner, species);
        settings.further.push_back(std::move(species));
    }
    return settings;
}

model::Model buildModel(const ModelSettings& settings, const std::vector<double>& couplingH,
                        const std::vector<double>& couplingN, double sigma)
{
    model::Species first = settings.first;
    if (first.shape != model::LineShape::Lorentzian)
        first.sigma = sigma;
    model::Model built;
    built.species.push_back(model::speciesFromBoxes(couplingH, couplingN, std::move(first)));
    for (const model::Species& species : settings.further)
        built.species.push_back(species);
    return built;
}

} // namespace ravelle
