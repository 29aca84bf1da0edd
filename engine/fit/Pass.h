#pragma once

#include <unsupported/Eigen/LevenbergMarquardt>

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "engine/fit/Curve.h"
#include "engine/fit/Points.h"
#include "engine/fit/Values.h"

namespace ravelle::fit {

// One pass of Levenberg-Marquardt: on data smoothed by a Gaussian of the
// given width (0: the raw points), with the model's lines widened to match.

struct Pass {
    double smoothing = 0.0;
    std::shared_ptr<const Samples> samples;
    std::vector<bool> varySet;      // per coupling set
    std::vector<bool> varyQuantity; // per shape quantity
    bool varyCentre = false;
    bool varyAmplitude = true;  // otherwise amplitude = 2 Scl / height on the display grid
    bool varyOffset = false;
    bool varySlope = false;
    double scale = 1.0;         // Scl, when the amplitude follows from it

    std::size_t size() const { return samples->size(); }
    Columns columns() const { return {varySet, varyQuantity}; }
};

// The parameters a pass varies.
int parameterCount(const Pass& pass);

// The residuals (model - data, times the point's weight) and the Jacobian
// rows of one pass at one set of values, for any run of its points: a step
// on very many points takes them a piece at a time.
class PassRows {
public:
    PassRows(Curve& curve, const Pass& pass, const std::atomic<bool>& cancel)
        : curve_(curve), pass_(pass), cancel_(cancel)
    {
    }

    // Takes `values` and, where the amplitude follows from Scl, finds the
    // curve's height on the display grid. False on a cancel or values out of
    // the model's range (stop() says which).
    bool at(const ModelValues& values, bool derivatives);

    // Rows begin to end - 1 into residual[i - begin] and (*jacobian)(i -
    // begin, k); either may be null, the Jacobian only after at() with
    // derivatives. False on a cancel or values out of range.
    bool rows(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian);

    // Told the share of rows() done every few thousand points; returning
    // false stops it as a cancel.
    void setTick(WorkTick tick) { tick_ = std::move(tick); }

    Stop stop() const { return stop_ == Stop::None ? curve_.stop() : stop_; }
    std::size_t blockPoints() const { return curve_.blockPoints(); }

private:
    bool block(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian,
               Eigen::Index firstRow);

    bool cancelled()
    {
        stop_ = Stop::Cancelled;
        return false;
    }

    Curve& curve_;
    const Pass& pass_;
    const std::atomic<bool>& cancel_;
    Stop stop_ = Stop::None;
    WorkTick tick_;
    ModelValues values_;
    double amplitude_ = 0.0;
    double offset_ = 0.0;
    double slope_ = 0.0;
    Normalisation norm_;
    std::vector<double> offsets_;
    Sums sums_;
};

class PassFunctor : public Eigen::DenseFunctor<double> {
public:
    PassFunctor(Curve& curve, const Pass& pass, const ModelValues& fixed, const std::atomic<bool>& cancel,
                int parameters)
        : Eigen::DenseFunctor<double>(parameters, static_cast<int>(pass.size())), pass_(pass), fixed_(fixed),
          rows_(curve, pass, cancel)
    {
    }

    // The parameter vector: the varied sets and shape quantities, then the
    // centre, the amplitude, the offset and the slope where this pass varies
    // them. Calls visit on each of those members of `values`, in that order.
    template <typename Values, typename Visit>
    static void forEachVaried(Values& values, const Pass& pass, Visit&& visit)
    {
        for (std::size_t g = 0; g < values.set.size(); ++g)
            if (pass.varySet[g])
                visit(values.set[g]);
        for (std::size_t k = 0; k < values.quantity.size(); ++k)
            if (pass.varyQuantity[k])
                visit(values.quantity[k]);
        if (pass.varyCentre)
            visit(values.centre);
        if (pass.varyAmplitude)
            visit(values.amplitude);
        if (pass.varyOffset)
            visit(values.offset);
        if (pass.varySlope)
            visit(values.slope);
    }

    static ModelValues unpack(const ModelValues& fixed, const Pass& pass, const InputType& x)
    {
        ModelValues values = fixed;
        Eigen::Index k = 0;
        forEachVaried(values, pass, [&](double& value) { value = x[k++]; });
        return values;
    }

    ModelValues unpack(const InputType& x) const { return unpack(fixed_, pass_, x); }

    static InputType pack(const ModelValues& values, const Pass& pass)
    {
        std::vector<double> x;
        forEachVaried(values, pass, [&](double value) { x.push_back(value); });
        return Eigen::Map<const InputType>(x.data(), static_cast<Eigen::Index>(x.size()));
    }

    // A trial step to values out of the model's range (a width of 0, a
    // negative weight) is answered with a residual far above any the data
    // give, so that the method refuses the step and takes a shorter one.
    int operator()(const InputType& x, ValueType& residual);

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
