#pragma once

#include <unsupported/Eigen/LevenbergMarquardt>

#include <atomic>
#include <cstddef>
#include <vector>

#include "engine/fit/Model.h"

namespace ravelle::fit {

// One pass of Levenberg-Marquardt: on data smoothed by a Gaussian of the
// given width (0: the raw points), with the model's line width widened to
// match, sqrt(sigma^2 + width^2), which is exact for Gaussian lines.

struct Pass {
    double smoothing = 0.0;
    std::vector<double> field; // ascending
    std::vector<double> data;
    bool varySigma = false;
    bool varyCentre = false;
    bool varyAmplitude = true;  // otherwise amplitude = 2 Scl / height on the display grid
    // A constant offset left by the import's normalisation weighs heavily
    // against the faint smoothed curve; the smoothed passes take it along.
    bool varyOffset = false;
    double scale = 1.0;         // Scl, when the amplitude follows from it
    std::vector<bool> varySet; // per coupling set
};

enum class Stop { None, Cancelled, SigmaZero };

class PassFunctor : public Eigen::DenseFunctor<double> {
public:
    PassFunctor(Model& model, const Pass& pass, const ModelValues& fixed, const std::atomic<bool>& cancel,
                int parameters)
        : Eigen::DenseFunctor<double>(parameters, static_cast<int>(pass.field.size())), model_(model), pass_(pass),
          fixed_(fixed), cancel_(cancel)
    {
    }

    // The parameter vector: the varied sets, then sigma, the centre, the
    // amplitude and the offset where this pass varies them. Calls visit on
    // each of those members of `values`, in that order.
    template <typename Values, typename Visit>
    static void forEachVaried(Values& values, const Pass& pass, Visit&& visit)
    {
        for (std::size_t g = 0; g < values.set.size(); ++g)
            if (pass.varySet[g])
                visit(values.set[g]);
        if (pass.varySigma)
            visit(values.sigma);
        if (pass.varyCentre)
            visit(values.centre);
        if (pass.varyAmplitude)
            visit(values.amplitude);
        if (pass.varyOffset)
            visit(values.offset);
    }

    ModelValues unpack(const InputType& x) const
    {
        ModelValues values = fixed_;
        Eigen::Index k = 0;
        forEachVaried(values, pass_, [&](double& value) { value = x[k++]; });
        return values;
    }

    static InputType pack(const ModelValues& values, const Pass& pass)
    {
        std::vector<double> x;
        forEachVaried(values, pass, [&](double value) { x.push_back(value); });
        return Eigen::Map<const InputType>(x.data(), static_cast<Eigen::Index>(x.size()));
    }

    int operator()(const InputType& x, ValueType& residual)
    {
        return evaluate(x, &residual, nullptr) ? 0 : -1;
    }

    int df(const InputType& x, JacobianType& jacobian) { return evaluate(x, nullptr, &jacobian) ? 0 : -1; }

    Stop stop() const { return stop_; }

    // Residuals (model - data) and/or the Jacobian at x.
    bool evaluate(const InputType& x, ValueType* residual, JacobianType* jacobian);

private:
    bool cancelled()
    {
        stop_ = Stop::Cancelled;
        return false;
    }

    Model& model_;
    const Pass& pass_;
    ModelValues fixed_;
    const std::atomic<bool>& cancel_;
    Stop stop_ = Stop::None;
    std::vector<double> offsets_;
    Sums sums_;
};

} // namespace ravelle::fit
