#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The general spectrum model: any nuclei, several species, Gaussian,
// Lorentzian or Voigt lines, widths that may depend on the total m_I of one
// group. Each line is the first derivative, with respect to the field x, of a
// unit-area profile centred on the line (positive on the low-field side).
// Fields are in gauss, offsets from the centre field.
namespace ravelle::model {

enum class LineShape {
    Gaussian,   // sigma: standard deviation
    Lorentzian, // gamma: half width at half maximum
    Voigt,      // the convolution of the two; sigma 0 is the Lorentzian, gamma 0 the Gaussian
};

// n equivalent nuclei of one isotope with coupling a give 2nI + 1 lines at
// m a, m = -nI ... nI, with the coefficients of (1 + x + ... + x^(2I))^n.
struct NucleusGroup {
    std::string isotope = "1H"; // a name of isotopeTable(): "1H", "14N", "13C", ...
    int count = 1;              // equivalent nuclei, 1 ... 30
    double coupling = 0.0;      // gauss, for that isotope
    // Each of the n positions carries the element's isotopes in their natural
    // abundances: spin-0 isotopes give no splitting, another magnetic isotope
    // of the element has the coupling scaled by the ratio of the g-factors.
    bool naturalAbundance = false;
};

// A width that depends on m, the total m_I of the chosen group:
// width + linear m + quadratic m^2 (B and C). Used only where the species
// names its width group.
struct WidthLaw {
    double linear = 0.0;
    double quadratic = 0.0;
};

inline constexpr int kNoWidthGroup = -1;
inline constexpr int kMaxEquivalentNuclei = 30;
inline constexpr std::size_t kMaxSpecies = 8;
inline constexpr std::size_t kMaxGroups = 64; // per species

struct Species {
    std::vector<NucleusGroup> groups;
    // Relative amount: the stick spectrum has total intensity `weight`, so two
    // species of equal weight and widths have equal double integrals.
    double weight = 1.0;
    double shift = 0.0; // gauss, added to every line of the species
    LineShape shape = LineShape::Gaussian;
    double sigma = 0.0; // its sign is dropped
    double gamma = 0.0; // must not be negative
    // The group whose total m_I sets the widths (index into groups; a single
    // isotope, not natural abundance), or kNoWidthGroup: one width for every line.
    int widthGroup = kNoWidthGroup;
    WidthLaw sigmaLaw;  // sigma + B m + C m^2
    WidthLaw gammaLaw;  // gamma + B' m + C' m^2
};

struct Model {
    std::vector<Species> species;
};

// The species the main window's boxes describe: one 1H group of one nucleus per
// hydrogen coupling, one 14N group of one nucleus per nitrogen coupling, then
// the groups of `settings` (the Model window's extra groups). Everything else
// (shape, widths, weight, shift, width law) is taken from `settings`; its
// widthGroup, an index into its own groups, is moved along with them.
Species speciesFromBoxes(const std::vector<double>& couplingH, const std::vector<double>& couplingN,
                         Species settings = {});

// Checks every value of a model; throws UserError with a message that names
// the species and group at the first bad one.
void validateModel(const Model& model);

// The field distance between the maximum and the minimum of one derivative
// line: 2 |sigma| for the Gaussian, 2 gamma / sqrt 3 for the Lorentzian, found
// numerically for the Voigt. Throws UserError where the shape lacks its width.
double peakToPeakWidth(LineShape shape, double sigma, double gamma);

} // namespace ravelle::model
