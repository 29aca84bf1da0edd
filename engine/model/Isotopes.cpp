#include "engine/model/Isotopes.h"

#include <algorithm>
#include <array>

namespace ravelle::model {

namespace {

// Spins and magnetic moments (in nuclear magnetons, ground states): N. J. Stone,
// "Table of nuclear magnetic dipole and electric quadrupole moments",
// At. Data Nucl. Data Tables 90 (2005) 75.
// Abundances: the representative isotopic compositions of IUPAC CIAAW,
// "Isotopic compositions of the elements 2013" (J. Meija et al.),
// Pure Appl. Chem. 88 (2016) 293; 40K and 50V, radioactive but primordial,
// are listed because they are part of the natural element.
constexpr std::array kTable = {
    Isotope{"1H", "H", 1, 0.999885, 2.792847},
    Isotope{"2H", "H", 2, 0.000115, 0.857438},
    Isotope{"6Li", "Li", 2, 0.0759, 0.822047},
    Isotope{"7Li", "Li", 3, 0.9241, 3.256427},
    Isotope{"10B", "B", 6, 0.199, 1.800645},
    Isotope{"11B", "B", 3, 0.801, 2.688649},
    Isotope{"12C", "C", 0, 0.9893, 0.0},
    Isotope{"13C", "C", 1, 0.0107, 0.702412},
    Isotope{"14N", "N", 2, 0.99636, 0.403761},
    Isotope{"15N", "N", 1, 0.00364, -0.283189},
    Isotope{"16O", "O", 0, 0.99757, 0.0},
    Isotope{"17O", "O", 5, 0.00038, -1.89379},
    Isotope{"18O", "O", 0, 0.00205, 0.0},
    Isotope{"19F", "F", 1, 1.0, 2.628868},
    Isotope{"23Na", "Na", 3, 1.0, 2.217522},
    Isotope{"27Al", "Al", 5, 1.0, 3.641507},
    Isotope{"28Si", "Si", 0, 0.92223, 0.0},
    Isotope{"29Si", "Si", 1, 0.04685, -0.55529},
    Isotope{"30Si", "Si", 0, 0.03092, 0.0},
    Isotope{"31P", "P", 1, 1.0, 1.13160},
    Isotope{"32S", "S", 0, 0.9499, 0.0},
    Isotope{"33S", "S", 3, 0.0075, 0.643821},
    Isotope{"34S", "S", 0, 0.0425, 0.0},
    Isotope{"36S", "S", 0, 0.0001, 0.0},
    Isotope{"35Cl", "Cl", 3, 0.7576, 0.821874},
    Isotope{"37Cl", "Cl", 3, 0.2424, 0.684124},
    Isotope{"39K", "K", 3, 0.932581, 0.3914662},
    Isotope{"40K", "K", 8, 0.000117, -1.298100},
    Isotope{"41K", "K", 3, 0.067302, 0.2148701},
    Isotope{"50V", "V", 12, 0.00250, 3.345689},
    Isotope{"51V", "V", 7, 0.99750, 5.148706},
    Isotope{"55Mn", "Mn", 5, 1.0, 3.4532},
    Isotope{"63Cu", "Cu", 3, 0.6915, 2.2233},
    Isotope{"65Cu", "Cu", 3, 0.3085, 2.3817},
    Isotope{"79Br", "Br", 3, 0.5069, 2.106400},
    Isotope{"81Br", "Br", 3, 0.4931, 2.270562},
    Isotope{"112Sn", "Sn", 0, 0.0097, 0.0},
    Isotope{"114Sn", "Sn", 0, 0.0066, 0.0},
    Isotope{"115Sn", "Sn", 1, 0.0034, -0.91883},
    Isotope{"116Sn", "Sn", 0, 0.1454, 0.0},
    Isotope{"117Sn", "Sn", 1, 0.0768, -1.00104},
    Isotope{"118Sn", "Sn", 0, 0.2422, 0.0},
    Isotope{"119Sn", "Sn", 1, 0.0859, -1.04728},
    Isotope{"120Sn", "Sn", 0, 0.3258, 0.0},
    Isotope{"122Sn", "Sn", 0, 0.0463, 0.0},
    Isotope{"124Sn", "Sn", 0, 0.0579, 0.0},
    Isotope{"190Pt", "Pt", 0, 0.00012, 0.0},
    Isotope{"192Pt", "Pt", 0, 0.00782, 0.0},
    Isotope{"194Pt", "Pt", 0, 0.32864, 0.0},
    Isotope{"195Pt", "Pt", 1, 0.33775, 0.60952},
    Isotope{"196Pt", "Pt", 0, 0.25211, 0.0},
    Isotope{"198Pt", "Pt", 0, 0.07356, 0.0},
};

} // namespace

std::span<const Isotope> isotopeTable()
{
    return kTable;
}

const Isotope* findIsotope(std::string_view name)
{
    const auto found = std::find_if(kTable.begin(), kTable.end(), [&](const Isotope& i) { return i.name == name; });
    return found == kTable.end() ? nullptr : &*found;
}

std::span<const Isotope> isotopesOfElement(const Isotope& isotope)
{
    // The table keeps each element's isotopes together.
    const auto same = [&](const Isotope& i) { return i.element == isotope.element; };
    const auto first = std::find_if(kTable.begin(), kTable.end(), same);
    const auto last = std::find_if_not(first, kTable.end(), same);
    return {first, last};
}

} // namespace ravelle::model
