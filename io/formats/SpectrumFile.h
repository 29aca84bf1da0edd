#pragma once

#include <functional>
#include <optional>
#include <string>

#include "io/ObservedImport.h"
#include "io/formats/LabelledTable.h"
#include "io/formats/RawSpectrum.h"

// The one entry point for spectra as spectrometers and their programs write
// them. It recognises the format by the file's content, with the extension
// only as a hint (a binary .DTA or .spc is known by its descriptor beside
// it), finds the partner files, and reads them:
//
// - Bruker BES3T: the .DSC descriptor or the .DTA data may be chosen; the
//   partner has the same name stem, its extension in either case (.DTA or
//   .dta), as does the .XGF of an unevenly spaced axis.
// - Bruker ESP and WinEPR: the .par or the .spc may be chosen.
// - Labelled text tables (header lines, then rows of numbers).
//
// Everything else, the plain two-column text of field and intensity among
// it, is "not one of mine": readSpectrumFile returns nothing and the caller
// hands the file to the plain import (io/ObservedImport.h), which then reads
// it exactly as it always did.
//
// The spectrum comes back raw (see RawSpectrum): fields in gauss as the
// file gives them, intensities as stored, in file order. Normalising it,
// the range and centre derived from it and the boxes are the caller's, as
// for the plain import.
//
// The import is meant to go:
//
//   if (auto raw = formats::readSpectrumFile(name, remembered choice)) {
//       ObservedSpectrum observed = formats::asObservedSpectrum(*raw);
//       normaliseObservedSpectrum(observed);  // as for the plain import
//       … show raw->notices; where raw->table has more than one intensity
//       candidate, offer them (and remember the choice by headerSignature) …
//   } else {
//       ObservedSpectrum observed = importObservedSpectrum(name, separator);
//   }
//
// Files are only read, and only regular files: a folder, pipe or device,
// chosen or found as a partner, is refused before a byte is read. Point
// counts beyond 10,000,000 and files beyond 1 GiB are refused before
// anything of their size is allocated.
namespace ravelle::formats {

// Throws UserError with a message for the user: the chosen file's own file
// errors exactly as the plain import reports them ("ファイルが見つかりません",
// "'<name>' is not a regular file." …); for everything else an English
// sentence naming the file at fault (a missing partner, a size that does
// not fit the descriptor, a value that is not a finite number, UTF-16
// text, …); "There is not enough memory to import this file." when memory
// runs out.
//
// `choice` applies to labelled tables only: the columns and field unit the
// user picked (see RawSpectrum::table for what there is to pick from).
// `progress` hears the share of a recognised file read, as often as every
// few megabytes or some ten thousand rows, and may throw to stop the
// reading; it does not hear a file that is not one of these formats.
std::optional<RawSpectrum> readSpectrumFile(const std::string& path, const TableChoice& choice = {},
                                            const std::function<void(double)>& progress = {});

// The spectrum in the layout of the plain import (points in entries 1 ..
// count, entry 0 and ten spare entries zero), for normaliseObservedSpectrum.
ObservedSpectrum asObservedSpectrum(const RawSpectrum& spectrum);

} // namespace ravelle::formats
