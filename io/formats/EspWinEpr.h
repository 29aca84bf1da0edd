#pragma once

#include <string>
#include <string_view>

#include "io/formats/RawSpectrum.h"

// Bruker ESP and WinEPR spectra: a text parameter file (.par) with the
// values in a binary .spc file.
//
// What is relied on (the layout as Bruker's ESP 300 and WinEPR programs
// wrote it; the parameter keys as WinEPR's documentation lists them, and
// checked against the files at hand):
// - The .par holds one "KEY value" per line; lines end with CR, LF or CR LF.
//   It may list only the keys whose values differ from the spectrometer's
//   defaults, so no single key can be relied on.
// - WinEPR marks its files with a line "DOS  Format"; its .spc holds
//   little-endian 32-bit floats. ESP's .spc holds big-endian 32-bit
//   integers. The mark is taken as a guess that the values must confirm.
// - Points per sweep: ANZ (all points), RES (resolution) or SSX; SSY > 1
//   sweeps make a two-dimensional spectrum stored sweep after sweep.
// - Field axis: GST (first field) and GSI (sweep width), the points evenly
//   from GST to GST + GSI, i.e. x_i = GST + i GSI / (points - 1); else HCF
//   (centre field) and HSW (sweep width). JUN: the field unit ("G" or
//   "mT"). JEX: the kind of experiment ("field-sweep").
// - MF: the microwave frequency in GHz.
namespace ravelle::formats {

struct EspNames {
    std::string parameters = "parameters";
    std::string data = "data";
};

// Whether a text reads as such a parameter file: nearly every line starts
// with a keyword and at least three of the keys above, or of the others
// ESP and WinEPR write (JSS, JDA, RCT, MP, …), are there.
bool looksLikeEspParameters(std::string_view text);

// The spectrum of an .spc with its .par. Throws UserError naming the file
// that is at fault (see the tests for every message).
RawSpectrum readEspWinEpr(std::string_view parameters, std::string_view data, const EspNames& names);

} // namespace ravelle::formats
