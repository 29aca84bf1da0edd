#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "commands/ParameterSet.h"

// The files a command line run reads and writes.
namespace ravelle::cli {

// A parameter set file read whole. Throws UserError naming the file.
ParameterSet readParameterSet(const std::string& fileName);

// DIR/NAME<extension>, NAME the input's file name without its extension as
// the window's save dialogs suggest it ("run1.dat" gives "run1").
std::string outputFileName(const std::string& directory, const std::string& input, std::string_view extension);

// Throws UserError when two of `outputs` are the same file, or an output
// would replace one of `inputs`: a run never writes over what it reads or
// over what it has just written.
void checkOutputsApart(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

// Throws UserError in plain English where `fileName` does not exist or is a
// folder; anything else the readers find out for themselves. The message
// does not name the file: the caller says which one it is.
void checkInputFile(const std::string& fileName);

// Throws UserError unless `directory` is an existing folder.
void checkDirectory(const std::string& directory);

} // namespace ravelle::cli
