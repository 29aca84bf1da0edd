#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What a reader of a spectrometer's file gives back: the spectrum exactly as
// the file holds it (fields converted to gauss, intensities untouched, file
// order), the microwave frequency where the file has one, and notices of
// anything left out or assumed on the way.
namespace ravelle::formats {

enum class SpectrumFormat {
    bes3t,          // Bruker BES3T: .DSC descriptor with .DTA data (Xepr)
    espWinEpr,      // Bruker ESP or WinEPR: .par parameters with .spc data
    labelledTable,  // a text table with header lines (instrument exports)
};

enum class FieldUnit { gauss, millitesla, tesla };

// Gauss per unit: 1, 10, 10000.
double gaussPer(FieldUnit unit);
// "G", "mT", "T".
const char* unitName(FieldUnit unit);

// The columns of a labelled text table, so that a window can offer the
// choice of the intensity column and remember it for files like this one.
struct TableColumns {
    // One label per column, from the header's label row; "column 3" where
    // the header names none.
    std::vector<std::string> labels;
    std::size_t fieldColumn = 0;
    // Columns that may hold the spectrum, in file order: every column but
    // the field, a running index and a microwave-frequency column. The
    // first is the default.
    std::vector<std::size_t> intensityCandidates;
    std::size_t intensityColumn = 0; // the one that was read
    // Sixteen hex digits from the number of columns and their labels only
    // (not the sample, date or values of the header): files written by the
    // same instrument set-up share it, so a choice can be remembered by it.
    std::string headerSignature;
};

struct RawSpectrum {
    SpectrumFormat format = SpectrumFormat::labelledTable;
    // For the user: "Bruker BES3T", "Bruker WinEPR", "Bruker ESP", "text table".
    std::string description;
    std::vector<double> field;     // gauss, file order, all finite
    std::vector<double> intensity; // as stored, same count, all finite
    std::optional<double> frequencyGHz;
    // Whole sentences for the user, e.g. "… holds a two-dimensional dataset
    // of 20 slices; only the first slice was imported."
    std::vector<std::string> notices;
    std::optional<TableColumns> table; // labelled tables only
};

} // namespace ravelle::formats
