#include "commands/ParameterSet.h"

#include <algorithm>
#include <optional>
#include <variant>
#include <vector>

#include "engine/Boxes.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/Isotopes.h"

namespace ravelle {

namespace {

constexpr std::string_view kMainWindow = "Main window";
constexpr std::string_view kModelWindow = "Model window";

// The boxes as the window shows them, from the plot's row to the last row.
constexpr std::string_view kBoxOrder[] = {
    "GCntr", "Scl", "Edit1", "Edit2", "Edit3", "Edit4", "G", "Sigma", "H1", "H2", "H3", "H4", "H5", "H6", "H7",
    "H8", "H9", "H10", "H11", "H12", "H13", "H14", "H15", "N1", "N2", "N3", "N4", "N5", "N6", "NoPnts",
};
static_assert(std::size(kBoxOrder) == kBoxes.size());

constexpr std::pair<model::LineShape, std::string_view> kShapeNames[] = {
    {model::LineShape::Gaussian, "Gaussian"},
    {model::LineShape::Lorentzian, "Lorentzian"},
    {model::LineShape::Voigt, "Voigt"},
};

// One entry of a section and the text, yes/no or line shape it stands for.
struct Binding {
    std::string_view name;
    std::variant<std::string*, bool*, model::LineShape*> target;
    bool isotope = false; // the text must name an isotope of the table
};
using Bindings = std::vector<Binding>;

void addWidthLaw(Bindings& bindings, WidthLawTexts& law)
{
    bindings.insert(bindings.end(), {{"width law group", &law.group},
                                     {"Sigma B", &law.sigmaB},
                                     {"Sigma C", &law.sigmaC},
                                     {"Gamma B", &law.gammaB},
                                     {"Gamma C", &law.gammaC}});
}

Bindings boxBindings(std::map<std::string, std::string, std::less<>>& boxes)
{
    Bindings bindings;
    for (const std::string_view box : kBoxOrder)
        bindings.push_back({box, &boxes[std::string(box)]});
    return bindings;
}

Bindings modelBindings(ModelTexts& model)
{
    Bindings bindings{{"line shape", &model.shape}, {"Gamma", &model.gamma}};
    addWidthLaw(bindings, model.widthLaw);
    bindings.insert(bindings.end(), {{"baseline offset", &model.offset},
                                     {"baseline slope", &model.slope},
                                     {"microwave frequency (GHz)", &model.frequency}});
    return bindings;
}

Bindings groupBindings(GroupTexts& group)
{
    return {{"isotope", &group.isotope, true},
            {"nuclei", &group.count},
            {"coupling", &group.coupling},
            {"natural abundance", &group.naturalAbundance}};
}

Bindings speciesBindings(SpeciesTexts& species)
{
    Bindings bindings{{"weight", &species.weight},
                      {"shift", &species.shift},
                      {"shift is a g-value", &species.shiftIsGValue},
                      {"line shape", &species.shape},
                      {"Sigma", &species.sigma},
                      {"Gamma", &species.gamma}};
    addWidthLaw(bindings, species.widthLaw);
    return bindings;
}

std::string speciesSection(std::size_t species)
{
    return "Species " + std::to_string(species);
}

std::string groupSection(std::size_t species, std::size_t group)
{
    return speciesSection(species) + ", group " + std::to_string(group);
}

// Characters as an edit box counts them: UTF-16 units, a byte that is no
// part of UTF-8 as one.
std::size_t editLength(std::string_view text)
{
    std::size_t units = 0;
    int pending = 0; // continuation bytes the last lead byte announced
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) == 0x80 && pending > 0) {
            --pending;
            continue;
        }
        pending = byte >= 0xF0 && byte < 0xF8 ? 3 : byte >= 0xE0 && byte < 0xF0 ? 2 : byte >= 0xC0 && byte < 0xE0 ? 1 : 0;
        units += pending == 3 ? 2 : 1;
    }
    return units;
}

// What keeps a text from being opened again, if anything.
std::optional<std::string> problemWith(const Binding& binding, const std::string& text, std::string_view section)
{
    const std::size_t length = editLength(text);
    if (length > kMaxParameterTextLength)
        return messages::parameterTextTooLong(section, binding.name, length, kMaxParameterTextLength);
    if (binding.isotope && model::findIsotope(text) == nullptr)
        return messages::parameterUnknownIsotope(text);
    return std::nullopt;
}

std::string valueText(const Binding& binding)
{
    if (const auto* text = std::get_if<std::string*>(&binding.target))
        return **text;
    if (const auto* flag = std::get_if<bool*>(&binding.target))
        return **flag ? "yes" : "no";
    const model::LineShape shape = *std::get<model::LineShape*>(binding.target);
    for (const auto& [known, name] : kShapeNames)
        if (known == shape)
            return std::string(name);
    return "Gaussian";
}

// Sets the binding's target from the file's text; the problem, if any.
std::optional<std::string> assign(const Binding& binding, const std::string& value, std::string_view section)
{
    if (auto* const* text = std::get_if<std::string*>(&binding.target)) {
        if (auto problem = problemWith(binding, value, section))
            return problem;
        **text = value;
    } else if (auto* const* flag = std::get_if<bool*>(&binding.target)) {
        if (value != "yes" && value != "no")
            return messages::parameterBadFlag(value);
        **flag = value == "yes";
    } else {
        const auto* found = std::find_if(std::begin(kShapeNames), std::end(kShapeNames),
                                         [&](const auto& shape) { return shape.second == value; });
        if (found == std::end(kShapeNames))
            return messages::parameterBadLineShape(value);
        *std::get<model::LineShape*>(binding.target) = found->first;
    }
    return std::nullopt;
}

class DocumentWriter {
public:
    void add(std::string name, const Bindings& bindings)
    {
        parameters::Section section{std::move(name), 0, {}};
        for (const Binding& binding : bindings) {
            std::string value = valueText(binding);
            if (auto problem = problemWith(binding, value, section.name))
                throw UserError(messages::parameterSetNotSaved(*problem));
            section.entries.push_back({std::string(binding.name), std::move(value), 0});
        }
        document_.sections.push_back(std::move(section));
    }

    void addGroups(std::size_t species, std::vector<GroupTexts>& groups)
    {
        if (groups.size() > model::kMaxGroups)
            throw UserError(messages::parameterSetNotSaved(
                messages::parameterTooManyGroups(speciesSection(species), model::kMaxGroups)));
        for (std::size_t k = 0; k < groups.size(); ++k)
            add(groupSection(species, k + 1), groupBindings(groups[k]));
    }

    parameters::Document take() { return std::move(document_); }

private:
    parameters::Document document_;
};

class SetReader {
public:
    SetReader(const parameters::Document& document, const std::string& fileName)
        : sections_(document.sections), fileName_(fileName)
    {
    }

    ParameterSet read()
    {
        ParameterSet set;
        fill(expect(kMainWindow), boxBindings(set.boxes));
        fill(expect(kModelWindow), modelBindings(set.model));
        std::vector<GroupTexts>* groups = &set.model.groups;
        std::size_t species = 1;
        for (; next_ < sections_.size(); ++next_) {
            const parameters::Section& section = sections_[next_];
            if (section.name == groupSection(species, groups->size() + 1)) {
                if (groups->size() == model::kMaxGroups)
                    fail(section.line, messages::parameterTooManyGroups(speciesSection(species), model::kMaxGroups));
                fill(section, groupBindings(groups->emplace_back()));
            } else if (section.name == speciesSection(species + 1)) {
                if (species == model::kMaxSpecies)
                    fail(section.line, messages::parameterTooManySpecies(model::kMaxSpecies));
                fill(section, speciesBindings(set.model.species.emplace_back()));
                groups = &set.model.species.back().groups;
                ++species;
            } else {
                fail(section.line, messages::parameterSectionOutOfOrder(section.name, sections_[next_ - 1].name,
                                                                        groupSection(species, groups->size() + 1),
                                                                        speciesSection(species + 1)));
            }
        }
        return set;
    }

private:
    const parameters::Section& expect(std::string_view name)
    {
        if (next_ == sections_.size())
            throw UserError(messages::parameterSetMissingSection(fileName_, name));
        const parameters::Section& section = sections_[next_];
        if (section.name != name)
            fail(section.line, messages::parameterSectionMustComeFirst(section.name, name));
        ++next_;
        return section;
    }

    void fill(const parameters::Section& section, const Bindings& bindings) const
    {
        std::vector<bool> seen(bindings.size(), false);
        for (const parameters::Entry& entry : section.entries) {
            const auto found = std::find_if(bindings.begin(), bindings.end(),
                                            [&](const Binding& binding) { return binding.name == entry.name; });
            if (found == bindings.end())
                fail(entry.line, messages::parameterUnknownEntry(section.name, entry.name));
            const auto index = static_cast<std::size_t>(found - bindings.begin());
            if (seen[index])
                fail(entry.line, messages::parameterRepeatedEntry(section.name, entry.name));
            seen[index] = true;
            if (auto problem = assign(*found, entry.value, section.name))
                fail(entry.line, *problem);
        }
        for (std::size_t k = 0; k < bindings.size(); ++k)
            if (!seen[k])
                fail(section.line, messages::parameterMissingEntry(section.name, bindings[k].name));
    }

    [[noreturn]] void fail(std::size_t line, std::string_view problem) const
    {
        throw UserError(messages::parameterSetLine(fileName_, line, problem));
    }

    const std::vector<parameters::Section>& sections_;
    const std::string& fileName_;
    std::size_t next_ = 0;
};

} // namespace

ParameterSet currentParameterSet(const CommandHost& host)
{
    ParameterSet set;
    for (const BoxInfo& box : kBoxes)
        set.boxes.emplace(std::string(box.name), host.boxText(box.name));
    set.model = host.modelTexts();
    return set;
}

void applyParameterSet(CommandHost& host, const ParameterSet& set)
{
    for (const auto& [box, text] : set.boxes)
        host.setBoxText(box, text);
    host.setModelTexts(set.model);
}

parameters::Document documentOf(const ParameterSet& set)
{
    ParameterSet copy = set; // the bindings point into it
    if (copy.model.species.size() + 1 > model::kMaxSpecies)
        throw UserError(messages::parameterSetNotSaved(messages::parameterTooManySpecies(model::kMaxSpecies)));
    DocumentWriter writer;
    writer.add(std::string(kMainWindow), boxBindings(copy.boxes));
    writer.add(std::string(kModelWindow), modelBindings(copy.model));
    writer.addGroups(1, copy.model.groups);
    for (std::size_t s = 0; s < copy.model.species.size(); ++s) {
        writer.add(speciesSection(s + 2), speciesBindings(copy.model.species[s]));
        writer.addGroups(s + 2, copy.model.species[s].groups);
    }
    return writer.take();
}

ParameterSet parameterSetOf(const parameters::Document& document, const std::string& fileName)
{
    return SetReader(document, fileName).read();
}

} // namespace ravelle
