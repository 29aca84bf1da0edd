#pragma once

#include <cstddef>
#include <vector>

#include "engine/HyperfineLines.h"
#include "engine/LineShape.h"

// Far from every line a raw sum is tiny, often below the error bound of a
// fast method, which may then give 0 or the wrong sign there; the saved table
// would show "0.00000" where the literal method's sum is a tiny negative
// number and shows "-0.00000". The nearest lines decide such a sum, so it is
// cheap to form again.
namespace ravelle {

// Lines already merged around the points: every line whose stored position
// lies within [low, high].
struct KnownLines {
    const MergedLines* merged = nullptr;
    double low = 0.0;
    double high = 0.0;
};

// Forms again, at each of the `points` (indices into `field`, ascending)
// whose sign the error bound of `value` leaves open, the sum of the literal
// method's stored terms, which are exactly 0 beyond `cutoff` from their line:
// among the lines, of every line within the cut-off, in double precision with
// a bound on its error and, where that bound leaves the sign open, from the
// stored terms themselves, compensated in extended precision; beyond every
// line, where all terms have one sign, of the outermost lines as deep among
// them as terms can matter. The sum replaces the value, whose sign is then
// that of the exact sum. A point amid lines too crowded to sum quickly keeps
// its value, and so does a point at field 0, where the symmetric list of
// lines makes the exact sum 0.
void settleTailSigns(const HyperfineLines& lines, const LineShape& shape, double cutoff,
                     const std::vector<double>& field, std::vector<std::size_t> points, const KnownLines& known,
                     std::vector<double>& value);

} // namespace ravelle
