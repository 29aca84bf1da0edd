#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "commands/CommandHost.h"
#include "commands/ModelTexts.h"
#include "io/ParameterFile.h"

// A parameter set: every box text of the main window and the Model window's
// whole content, exactly as typed, saved to a file and opened again. The
// file's layout is io/ParameterFile.h; its sections are
//
//   [Main window]            one entry per box, named as the box ("GCntr", "H1")
//   [Model window]           species 1's line shape, Gamma and width law, the
//                            baseline and the microwave frequency
//   [Species 1, group K]     species 1's extra nucleus groups, K = 1, 2, ...
//   [Species N]              species N = 2, 3, ..., each followed by its
//   [Species N, group K]     groups
//
// in that order.
namespace ravelle {

struct ParameterSet {
    std::map<std::string, std::string, std::less<>> boxes; // every box of kBoxes, by name
    ModelTexts model;

    bool operator==(const ParameterSet&) const = default;
};

// The most characters (UTF-16 units, as the window's edit boxes count them)
// a text of a parameter set may have: as many as an edit box takes, so that
// a text is never cut when it is put back into its box.
inline constexpr std::size_t kMaxParameterTextLength = 32767;

// The texts the host shows now, and putting a set into it.
ParameterSet currentParameterSet(const CommandHost& host);
void applyParameterSet(CommandHost& host, const ParameterSet& set);

// The file's sections. Throws UserError ("The parameter set was not saved:
// ...") where the file could not be opened again: a text longer than
// kMaxParameterTextLength, an isotope the model does not know, more groups
// or species than the model takes.
parameters::Document documentOf(const ParameterSet& set);

// The set a file's sections give. Throws UserError naming the file
// (`fileName`, without its folder) and the line at fault: a section out of
// place, an entry missing, unknown or given twice, a line shape or yes/no
// that is neither, an unknown isotope, a text too long, too many groups or
// species.
ParameterSet parameterSetOf(const parameters::Document& document, const std::string& fileName);

} // namespace ravelle
