#pragma once

#include <string>
#include <string_view>

#include "engine/ProgramState.h"

// The remembered directory: the file "dirinf" in the start-up directory holds,
// in one CR LF line, the directory of the last file chosen in a file dialog.
namespace ravelle {

// The directory part of a full file name: up to the last "/", without that
// separator unless it is the root ("/data/run1.dat" gives "/data",
// "/run1.dat" gives "/").
std::string directoryPart(std::string_view fullName);

// Path of dirinf: StartDir + "/dirinf".
std::string dirinfPath(const ProgramState& state);

// A file name from a dialog made absolute against the current directory, so
// that it still names the same file after StoreLastDir changes directory.
std::string absoluteFileName(std::string_view name);

// Reads the first line of dirinf into LastDir when the file exists. The
// remembered directory is a convenience: a file that cannot be read leaves
// LastDir as it was.
void LoadLastDir(ProgramState& state);

// LastDir := directoryPart(fileName); makes it the current directory (a
// failure is ignored); replaces dirinf with LastDir + CR LF. A dirinf that
// cannot be written does not stop the command that chose the file.
void StoreLastDir(ProgramState& state, const std::string& fileName);

} // namespace ravelle
