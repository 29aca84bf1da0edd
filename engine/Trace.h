#pragma once

#include "engine/FloatingPoint.h"

// How the red trace is placed over the observed one: the simulated intensity
// (peak-to-peak 2) times the mutual scale, plus the baseline, an offset and a
// slope per gauss about the centre field. The plot draws and the .cal saves
// exactly these values.
namespace ravelle {

struct TraceLevel {
    double scale = 0.0;
    double offset = 0.0;
    double slope = 0.0; // per gauss
};

// scale x intensity + offset + slope x fieldOffset, where fieldOffset is the
// point's distance from the centre field; formed in extended precision and
// stored as a double (a value beyond the double range throws the overflow
// error). Without a baseline this is the scaled intensity exactly.
inline double tracedIntensity(const TraceLevel& level, double fieldOffset, double intensity)
{
    const long double scaled = static_cast<long double>(level.scale) * intensity;
    return storeDouble(scaled + level.offset + static_cast<long double>(level.slope) * fieldOffset);
}

} // namespace ravelle
