#pragma once

#include <cstdlib>
#include <string>

// Where the real measured spectra are (converted .dat files and original/):
// RAVELLE_MEASURED_DATA in the environment, else the folder the build was
// configured with. Tests that read them skip where the folder is missing.
namespace ravelle::testing {

inline std::string measuredFolder()
{
    const char* overridden = std::getenv("RAVELLE_MEASURED_DATA");
    return overridden != nullptr ? overridden : RAVELLE_MEASURED_DATA;
}

} // namespace ravelle::testing
