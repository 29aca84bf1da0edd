#include "engine/Boxes.h"

namespace ravelle {

namespace {
constexpr std::array<std::string_view, 16> kHydrogenBoxes{
    "", "H1", "H2", "H3", "H4", "H5", "H6", "H7", "H8", "H9", "H10", "H11", "H12", "H13", "H14", "H15"};
constexpr std::array<std::string_view, 7> kNitrogenBoxes{"", "N1", "N2", "N3", "N4", "N5", "N6"};
} // namespace

std::string_view hydrogenBox(int k) { return kHydrogenBoxes.at(static_cast<std::size_t>(k)); }
std::string_view nitrogenBox(int k) { return kNitrogenBoxes.at(static_cast<std::size_t>(k)); }

} // namespace ravelle
