#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UserError.h"
#include "tests/support/MeasuredData.h"

// What the reader tests share: where their files are, and the message a
// call fails with.
namespace ravelle::formats::testing {

inline std::string quirkFile(std::string_view name)
{
    return std::string(RAVELLE_FORMATS_DATA) + "/" + std::string(name);
}

inline std::string plainImportFile(std::string_view name)
{
    return std::string(RAVELLE_FORMATS_DATA) + "/../import/" + std::string(name);
}

using ravelle::testing::measuredFolder;

inline std::string fileBytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The UserError's message, or "(no error)".
inline std::string errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const UserError& error) {
        return error.message();
    }
    return "(no error)";
}

// As the import normalises: the raw minimum to -1, the maximum to +1.
inline std::vector<double> normalised(const std::vector<double>& values)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double middle = (*high + *low) / 2;
    const double span = *high - *low;
    std::vector<double> result;
    for (const double value : values)
        result.push_back(2 * (value - middle) / span);
    return result;
}

} // namespace ravelle::formats::testing
