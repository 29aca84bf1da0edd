#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/ProgramState.h"

// The two exported tables: the simulated spectrum (.cal) placed and scaled
// as on the plot, and the observed spectrum (.obs) as normalised. Numbers
// always use "." whatever the system's number format.
namespace ravelle {

// `value` in fixed point with `decimals` decimals, right-aligned in `width`
// characters (wider when it needs more). A negative value keeps its "-" even
// when it rounds to zero; negative zero has none. The rounding follows the
// exact binary value, an exact half going away from zero.
std::string formatTableNumber(double value, int width, int decimals);

// The name the save dialogs suggest, without extension, in the folder of the
// imported file: its name without the last four characters where it ends in
// a dot and three characters ("run1.dat" gives "run1"), otherwise without
// its own extension if it has one ("x.d" gives "x", "data" stays "data").
// Leading dots are dropped, so the suggestion is never a hidden name; a name
// of dots alone gives "spectrum". "NONE" (nothing imported) gives "".
// Characters are code points, not bytes.
std::string suggestedBaseName(std::string_view obsFileName);

// The .cal table, the red trace as the plot shows it: one line per point
// 0 .. CalcSpectrumPoints, the field CalcField[i] + CalcCenterField (7 wide,
// 2 decimals), six blanks, the intensity CalcIntensity[i] * CalcScale plus
// the baseline CalcBaselineOffset + CalcBaselineSlope * CalcField[i] (8 wide,
// 5 decimals), CR LF.
std::string calTable(const ProgramState& state);
// The .obs table: points 1 .. ObsCount, the field (7.2), four blanks, the
// intensity (8.5), CR LF.
std::string obsTable(const ProgramState& state);

// Replace `fileName` with the table, whole or not at all. Throw UserError.
// `progress` hears the share of the lines written every so many thousand
// lines and may throw to abandon the file, which then stays as it was.
void writeCalFile(const ProgramState& state, const std::string& fileName,
                  const std::function<void(double)>& progress = {});
void writeObsFile(const ProgramState& state, const std::string& fileName,
                  const std::function<void(double)>& progress = {});

} // namespace ravelle
