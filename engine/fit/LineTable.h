#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "engine/fit/Fit.h"

// The line list of a fit: every combination of spin states, with equivalent
// nuclei and fixed constants merged. A line's position is base + sum over
// the varied sets g of coefficient[g] * a_g, where the coefficient is the
// set's total spin projection, so d(position)/d(a_g) is that coefficient.
namespace ravelle::fit {

struct Pattern {
    std::vector<double> coefficient;
    std::vector<double> weight;
};

// n equivalent spin-1/2 nuclei: n + 1 lines at (k - n/2) a, binomial weights.
// n equivalent spin-1 nuclei: 2n + 1 lines at m b, trinomial weights.
Pattern patternOf(FitParameterKind kind, int n);

struct LineTable {
    std::size_t sets = 0;
    std::vector<double> base;
    std::vector<double> weight;
    std::vector<double> coefficient; // line-major, `sets` per line
    std::size_t size() const { return weight.size(); }
};

// Fixed constants never move, so their lines are merged wherever they fall
// on the same position.
std::vector<std::pair<double, double>> fixedLines(const std::vector<std::pair<FitParameterKind, double>>& fixed);

double lineCount(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns);

LineTable buildLineTable(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns);

} // namespace ravelle::fit
