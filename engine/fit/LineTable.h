#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The line list of a fit: every combination of spin states, with equivalent
// nuclei and fixed constants merged. A line's position is base + sum over
// the varied sets g of coefficient[g] * a_g, where the coefficient is the
// set's total spin projection, so d(position)/d(a_g) is that coefficient.
namespace ravelle::fit {

struct Pattern {
    std::vector<double> coefficient;
    std::vector<double> weight;
};

// n equivalent nuclei of spin I (twiceSpin = 2I): 2nI + 1 lines at m a,
// m = -nI ... nI, with the coefficients of (1 + x + ... + x^(2I))^n.
Pattern patternOf(int twiceSpin, int n);

// A group of equivalent nuclei whose coupling stays as it is.
struct FixedGroup {
    int twiceSpin = 1;
    int count = 1;
    double coupling = 0.0;
};

struct LineTable {
    std::size_t sets = 0;
    std::vector<double> base;
    std::vector<double> weight;
    std::vector<double> coefficient; // line-major, `sets` per line
    std::size_t size() const { return weight.size(); }
};

// Fixed constants never move, so their lines are merged wherever they fall
// on the same position. One line of the given weight at `shift` to start with.
// Stops early, with more than `most` lines, when there would be more.
std::vector<std::pair<double, double>> fixedLines(const std::vector<FixedGroup>& fixed, double shift = 0.0,
                                                  double weight = 1.0, std::size_t most = SIZE_MAX);

double lineCount(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns);

LineTable buildLineTable(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns);

} // namespace ravelle::fit
