#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ravelle {

// Everything that outlives a single command. There is one instance per run,
// owned by the user interface; engine functions take it by reference so a
// test can set one up by hand.
//
// A default-constructed state holds the zeros the program starts from;
// Initialise() then gives the start-up values.
struct ProgramState {
    // Observed spectrum: entries 1 .. ObsCount of arrays sized ObsCount + 10.
    std::string ObsFileName;          // "NONE" while no file has been chosen
    bool ObsLoaded = false;           // a spectrum has been imported
    std::int32_t ObsCount = 0;
    std::vector<double> ObsField;     // gauss
    std::vector<double> ObsIntensity; // normalised to -1 .. +1
    double ObsEndLow = 0.0;           // smaller of the file's first and last field
    double ObsEndHigh = 0.0;          // larger of the two

    // Parameters, as the Calculate command last read them from the boxes.
    double CenterField = 0.0;   // gauss
    double MutualScale = 0.0;   // simulated over observed
    double SigmaValue = 0.0;    // gauss
    double DisplayRange = 0.0;  // gauss
    std::int32_t CalcPoints = 0; // grid intervals N: the spectrum has N + 1 points
    std::int32_t HCount = 0;     // 0 .. 15
    std::int32_t NCount = 0;     // 0 .. 6
    std::array<double, 16> CouplingH{}; // entries 1 .. 15
    std::array<double, 7> CouplingN{};  // entries 1 .. 6

    // Simulated spectrum: entries 0 .. CalcSpectrumPoints of arrays sized
    // CalcSpectrumPoints + 10. Field values are offsets from CenterField;
    // intensities have peak-to-peak 2 without the scale.
    bool CalcValid = false; // a Calculate has passed its parameter check
    std::vector<double> CalcField;
    std::vector<double> CalcIntensity;
    // The interval count of the spectrum in CalcField/CalcIntensity, -1 while
    // there is none. It is kept apart from CalcPoints because a Calculate that
    // stops at its check or fails leaves the last good spectrum in place while
    // CalcPoints already holds the newly typed count.
    std::int32_t CalcSpectrumPoints = -1;
    // The centre field and the mutual scale the simulated spectrum is drawn
    // and saved with: those of the Calculate that made it, the centre moved
    // to the new CenterField by an import. A Calculate that fails after
    // reading GCntr and Scl changes CenterField and MutualScale but not the
    // trace on the plot, so these are kept apart.
    double CalcCenterField = 0.0;
    double CalcScale = 0.0;
    // The baseline the trace is drawn and saved with, from the Calculate
    // that made it: an offset and a slope per gauss about the centre field,
    // added after the scale. An import moves the trace but keeps them.
    double CalcBaselineOffset = 0.0;
    double CalcBaselineSlope = 0.0;

    // Plot frame and window.
    double FrameFieldLow = 0.0;
    double FrameFieldHigh = 0.0;
    double FrameIntLow = 0.0;
    double FrameIntHigh = 0.0;
    double PlotFieldMin = 0.0;
    double PlotFieldMax = 0.0;
    double PlotIntMin = 0.0;
    double PlotIntMax = 0.0;
    std::int32_t PlotWidth = 0;
    std::int32_t PlotHeight = 0;

    // Directories.
    std::string StartDir; // current directory at start-up; dirinf lives here
    std::string LastDir;  // the remembered directory
};

// Start-up values, in the program's order; StartDir becomes the current
// directory (empty when the process has none).
void Initialise(ProgramState& state);
// The same, with the start-up directory given (tests).
void Initialise(ProgramState& state, const std::string& startDir);
// Releases the arrays and strings at shut-down.
void Finalise(ProgramState& state);

// Whether a simulated spectrum exists to draw or export.
inline bool hasSimulatedSpectrum(const ProgramState& state)
{
    return state.CalcValid && state.CalcSpectrumPoints >= 0;
}

// Whether an observed spectrum exists to draw or export.
inline bool hasObservedSpectrum(const ProgramState& state)
{
    return state.ObsFileName != "NONE" && state.ObsLoaded;
}

} // namespace ravelle
