#pragma once
// Small helpers the engine tests share.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/FastSynthesis.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"

namespace ravelle::testing {

// The message `action` throws for the user, or `nothing` when it throws none.
inline std::string messageOf(const std::function<void()>& action, const std::string& nothing = "")
{
    try {
        action();
    } catch (const UserError& error) {
        return error.message();
    }
    return nothing;
}

inline SynthesisInput makeInput(double range, double sigma, std::int32_t points,
                                std::vector<double> couplingH = {}, std::vector<double> couplingN = {})
{
    SynthesisInput input;
    input.displayRange = range;
    input.sigma = sigma;
    input.points = points;
    input.couplingH = std::move(couplingH);
    input.couplingN = std::move(couplingN);
    return input;
}

inline const char* methodName(SummationMethod method)
{
    switch (method) {
    case SummationMethod::MergedLines: return "merged lines";
    case SummationMethod::Fourier: return "Fourier";
    case SummationMethod::FourierSeries: return "Fourier series";
    case SummationMethod::ListOrder: return "list order";
    default: return "automatic";
    }
}

} // namespace ravelle::testing
