#include "engine/ProgramState.h"

#include <filesystem>
#include <system_error>

namespace ravelle {

void Initialise(ProgramState& state, const std::string& startDir)
{
    state.SigmaValue = 0.1;
    state.CalcValid = false;
    state.ObsLoaded = false;
    state.CalcPoints = 500;
    state.MutualScale = 1.0;
    state.HCount = 0;
    state.NCount = 0;
    state.CenterField = 0.0;
    state.ObsFileName = "NONE";
    state.StartDir = startDir;
}

void Initialise(ProgramState& state)
{
    std::error_code error;
    const auto current = std::filesystem::current_path(error);
    Initialise(state, error ? std::string() : current.string());
}

void Finalise(ProgramState& state)
{
    // Release in the program's order; swap with empties so memory is returned.
    std::string().swap(state.LastDir);
    std::string().swap(state.StartDir);
    std::vector<double>().swap(state.CalcIntensity);
    std::vector<double>().swap(state.CalcField);
    std::string().swap(state.ObsFileName);
    std::vector<double>().swap(state.ObsIntensity);
    std::vector<double>().swap(state.ObsField);
    state.CalcSpectrumPoints = -1;
}

} // namespace ravelle
