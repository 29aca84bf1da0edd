#pragma once

#include <unsupported/Eigen/LevenbergMarquardt>

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "engine/fit/Model.h"
#include "engine/fit/Points.h"

namespace ravelle::fit {

// One pass of Levenberg-Marquardt: on data smoothed by a Gaussian of the
// given width (0: the raw points), with the model's line width widened to
// match, sqrt(sigma^2 + width^2), which is exact for Gaussian lines.

struct Pass {
    double smoothing = 0.0;
    std::shared_ptr<const Samples> samples;
    bool varySigma = false;
    bool varyCentre = false;
    bool varyAmplitude = true;  // otherwise amplitude = 2 Scl / height on the display grid
    // A constant offset left by the import's normalisation weighs heavily
    // against the faint smoothed curve; the smoothed passes take it along.
    bool varyOffset = false;
    double scale = 1.0;         // Scl, when the amplitude follows from it
    std::vector<bool> varySet; // per coupling set

    std::size_t size() const { return samples->size(); }
};

// The parameters a pass varies.
int parameterCount(const Pass& pass);

enum class Stop { None, Cancelled, SigmaZero };

// The residuals (model - data, times the point's weight) and the Jacobian
// rows of one pass at one set of values, for any run of its points: a step
// on very many points takes them a piece at a time.
class PassRows {
public:
    PassRows(Model& model, const Pass& pass, const std::atomic<bool>& cancel)
        : model_(model), pass_(pass), cancel_(cancel)
    {
    }

    // Places the lines for `values` and, where the amplitude follows from
    // Scl, finds the curve's height on the display grid. False on a cancel or
    // a sigma of 0 (stop() says which).
    bool at(const ModelValues& values, bool derivatives);

    // Rows begin to end - 1 into residual[i - begin] and (*jacobian)(i -
    // begin, k); either may be null, the Jacobian only after at() with
    // derivatives. False on a cancel.
    bool rows(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian);

    // Told the share of rows() done every few thousand points; returning
    // false stops it as a cancel.
    void setTick(WorkTick tick) { tick_ = std::move(tick); }

    Stop stop() const { return stop_; }

private:
    bool block(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian,
               Eigen::Index firstRow);

    bool cancelled()
    {
        stop_ = Stop::Cancelled;
        return false;
    }

    Model& model_;
    const Pass& pass_;
    const std::atomic<bool>& cancel_;
    Stop stop_ = Stop::None;
    WorkTick tick_;
    ModelValues values_;
    double sign_ = 1.0;
    double sigma_ = 0.0;
    double width_ = 0.0;
    double amplitude_ = 0.0;
    double offset_ = 0.0;
    Normalisation norm_;
    std::vector<double> offsets_;
    Sums sums_;
};

class PassFunctor : public Eigen::DenseFunctor<double> {
public:
    PassFunctor(Model& model, const Pass& pass, const ModelValues& fixed, const std::atomic<bool>& cancel,
                int parameters)
        : Eigen::DenseFunctor<double>(parameters, static_cast<int>(pass.size())), pass_(pass), fixed_(fixed),
          rows_(model, pass, cancel)
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

    Stop stop() const { return rows_.stop(); }
    void setTick(WorkTick tick) { rows_.setTick(std::move(tick)); }

    // Residuals and/or the Jacobian at x.
    bool evaluate(const InputType& x, ValueType* residual, JacobianType* jacobian)
    {
        return rows_.at(unpack(x), jacobian != nullptr) &&
               rows_.rows(0, pass_.size(), residual ? residual->data() : nullptr, jacobian);
    }

private:
    const Pass& pass_;
    ModelValues fixed_;
    PassRows rows_;
};

} // namespace ravelle::fit
