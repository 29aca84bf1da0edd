#pragma once

#include <array>
#include <string_view>

namespace ravelle {

// The thirty edit boxes of the main window, in Tab order, with the text each
// shows when the window opens. A box is unset while its text is exactly its
// own name.
struct BoxInfo {
    std::string_view name;
    std::string_view initialText;
};

inline constexpr std::array<BoxInfo, 30> kBoxes{{
    {"GCntr", "GCntr"}, {"Scl", "Scl"},     {"Edit1", "Edit1"}, {"Edit2", "Edit2"},
    {"Edit4", "Edit4"}, {"Sigma", "0.1"},   {"H1", "H1"},       {"H2", "H2"},
    {"N2", "N2"},       {"N1", "N1"},       {"H4", "H4"},       {"N3", "N3"},
    {"N6", "N6"},       {"N4", "N4"},       {"H5", "H5"},       {"N5", "N5"},
    {"H3", "H3"},       {"H6", "H6"},       {"G", "30"},        {"Edit3", "Edit3"},
    {"H7", "H7"},       {"H8", "H8"},       {"H9", "H9"},       {"NoPnts", "NoPnts"},
    {"H10", "H10"},     {"H11", "H11"},     {"H12", "H12"},     {"H13", "H13"},
    {"H14", "H14"},     {"H15", "H15"},
}};

// "H1" ... "H15" for k = 1 ... 15.
std::string_view hydrogenBox(int k);
// "N1" ... "N6" for k = 1 ... 6.
std::string_view nitrogenBox(int k);

} // namespace ravelle
