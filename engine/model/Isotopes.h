#pragma once

#include <span>
#include <string_view>

// The nuclei a hyperfine group can name: spin, natural abundance and magnetic
// moment of every isotope of the elements the model knows, spin-0 isotopes
// included, so that an element's abundances add up to 1.
namespace ravelle::model {

struct Isotope {
    std::string_view name;     // mass number and symbol: "1H", "13C", "63Cu"
    std::string_view element;  // "H", "C", "Cu"
    int twiceSpin = 0;         // 2I: 1 for spin 1/2, 2 for spin 1, 0 for no splitting
    double abundance = 0.0;    // natural abundance, fraction of the element's atoms
    double magneticMoment = 0.0; // in nuclear magnetons, signed; 0 for spin 0

    double spin() const { return 0.5 * twiceSpin; }
    // The nuclear g-factor mu / (I mu_N); 0 for spin 0. Hyperfine couplings of
    // two isotopes of one element in the same position scale with it.
    double gFactor() const { return twiceSpin == 0 ? 0.0 : 2.0 * magneticMoment / twiceSpin; }
};

// Every isotope of the table, grouped by element, elements in order of atomic number.
std::span<const Isotope> isotopeTable();

// The isotope of that name ("13C"), or nullptr. The name is matched exactly.
const Isotope* findIsotope(std::string_view name);

// The isotopes of the element of `isotope` (itself included), in order of mass.
std::span<const Isotope> isotopesOfElement(const Isotope& isotope);

} // namespace ravelle::model
