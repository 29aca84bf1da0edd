#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/formats/BinaryValues.h"
#include "io/formats/RawSpectrum.h"

// Bruker BES3T datasets (Xepr, on ELEXSYS, EMX and EMXplus spectrometers): a
// text descriptor (.DSC) and the binary data (.DTA), with the field values
// in an .XGF file where the axis is not evenly spaced.
//
// What is relied on, from Bruker's "BES3T Description Format" (version 1.2,
// the description of the descriptor keywords that comes with Xepr):
// - The descriptor is text that starts with "#DESC"; each line holds a
//   keyword and its value (strings may be in single quotes). Lines starting
//   with "*" are comments, "#SPL", "#DSL" and ".DVC" lines open layers and
//   devices, "#MHL" starts the manipulation history, which is not read; a
//   value ending in "\" goes on in the next line.
// - BSEQ: byte order of all binary files, BIG (the default) or LIT.
// - IKKF: REAL, or CPLX for complex values stored as interleaved pairs
//   (real, imaginary). IRFMT: C, S, I, F or D for 8-, 16-, 32-bit integers,
//   32- and 64-bit floats.
// - XTYP: IDX for an evenly spaced axis, x_i = XMIN + i XWID / (XPTS - 1);
//   IGD for one whose XPTS values are stored in the .XGF file (format XFMT,
//   taken as IRFMT when not given). YTYP and ZTYP: NODATA, or IDX/IGD with
//   YPTS and ZPTS slices; the data hold x fastest, so the first XPTS points
//   are the first slice.
// - XUNI: the unit of the x axis ('G' or 'mT' for a field sweep).
// - MWFQ: the microwave frequency in Hz.
namespace ravelle::formats {

// The names the messages use for the three files.
struct Bes3tNames {
    std::string descriptor = "descriptor";
    std::string data = "data";
    std::string axis = "axis";
};

// What the descriptor says about the data.
struct Bes3tLayout {
    std::uint64_t points = 0;   // XPTS, 2 .. kMaxPoints
    std::uint64_t slices = 1;   // YPTS x ZPTS, saturating
    std::uint64_t valuesPerPoint = 1; // 2 for complex data
    NumberFormat format = NumberFormat::float64;
    ByteOrder order = ByteOrder::big;
    bool axisFromFile = false;  // XTYP IGD
    NumberFormat axisFormat = NumberFormat::float64;
    double xMin = 0.0;
    double xWidth = 0.0;
    FieldUnit unit = FieldUnit::gauss;
    std::optional<double> frequencyGHz;
    std::vector<std::string> notices;

    // The size the data and axis files must have (saturating), and the
    // bytes at the start of the data that hold the first slice.
    std::uint64_t dataBytes() const;
    std::uint64_t axisBytes() const;
    std::uint64_t firstSliceBytes() const;
};

// Whether a text is a BES3T descriptor: it starts with "#DESC" (after a
// UTF-8 byte order mark or blank lines).
bool isBes3tDescriptor(std::string_view text);

// Throws UserError naming the descriptor when it is not one or asks for
// something that cannot be read (see the tests for every message).
Bes3tLayout parseBes3tDescriptor(std::string_view descriptor, const Bes3tNames& names);

// Throws the message readBes3tData gives for a data file of this size
// that does not fit the descriptor; so a wrong file is refused unread.
void checkBes3tDataSize(const Bes3tLayout& layout, std::uint64_t size, const Bes3tNames& names);
void checkBes3tAxisSize(const Bes3tLayout& layout, std::uint64_t size, const Bes3tNames& names);

// The first slice's real parts with the field axis. `axis` is used only for
// an IGD axis. Throws UserError when a file's size differs from what the
// descriptor says or a value is not finite.
RawSpectrum readBes3tData(const Bes3tLayout& layout, std::string_view data, std::string_view axis,
                          const Bes3tNames& names);

// As readBes3tData, from the first firstSliceBytes() of a data file whose
// size has been checked already: a large two-dimensional dataset is not
// read beyond its first slice.
RawSpectrum readBes3tSlice(const Bes3tLayout& layout, std::string_view slice, std::string_view axis,
                           const Bes3tNames& names);

// Both steps on files already in memory.
RawSpectrum readBes3t(std::string_view descriptor, std::string_view data, std::string_view axis,
                      const Bes3tNames& names);

} // namespace ravelle::formats
