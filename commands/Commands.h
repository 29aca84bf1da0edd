#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"

// The main window's commands, run on box texts through a CommandHost so that
// they work without widgets. Each runs to its end or to its first error; the
// error is reported through the host (showError), never thrown out.
namespace ravelle {

// Calculate: read and check the boxes, synthesize, set the plot window around
// CenterField, write the boxes back, redraw.
void calculateCommand(ProgramState& state, CommandHost& host);

// Import an observed spectrum chosen in the open dialog.
void importCommand(ProgramState& state, CommandHost& host);

// Export the simulated spectrum (.cal) and, when one exists, the observed one (.obs).
void exportCommand(ProgramState& state, CommandHost& host);

// Open a parameter set chosen in the open dialog: every box text and the
// Model window's content as saved, nothing else (no Calculate). A file that
// cannot be read whole changes nothing.
void openParametersCommand(ProgramState& state, CommandHost& host);

// Save every box text and the Model window's content as a parameter set,
// replacing the chosen file whole or not at all.
void saveParametersCommand(ProgramState& state, CommandHost& host);

// One stepper step on `box`: parse its text, add `step` in extended precision,
// write the sum in the general format with 15 significant digits. Returns
// false (after reporting the conversion error, the text unchanged) when the
// text does not parse; the caller then runs no Calculate.
bool stepBox(CommandHost& host, std::string_view box, long double step);

// Picks one text out of the Model window's content.
using ModelTextOf = std::function<std::string&(ModelTexts&)>;
// The same step on a text of the Model window (species 1's Gamma, say),
// through the host's modelTexts and setModelTexts; a text that does not parse
// is reported with the name of its field and stays as it was.
bool stepModelText(CommandHost& host, const ModelTextOf& text, std::string_view field, long double step);

} // namespace ravelle
