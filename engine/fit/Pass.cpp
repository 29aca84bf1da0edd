#include "engine/fit/Pass.h"

#include <algorithm>
#include <cmath>

namespace ravelle::fit {

namespace {

// The residual of a point at values out of the model's range: the data are
// of order 1, so a step there always looks far worse than staying.
constexpr double kOutOfRangeResidual = 1e6;

} // namespace

int parameterCount(const Pass& pass)
{
    return static_cast<int>(pass.columns().count()) + int{pass.varyCentre} + int{pass.varyAmplitude} +
           int{pass.varyOffset} + int{pass.varySlope};
}

bool PassRows::at(const ModelValues& values, bool derivatives)
{
    stop_ = Stop::None;
    values_ = values;
    if (!curve_.prepare(values, pass_.smoothing, pass_.columns()))
        return false;
    amplitude_ = values.amplitude;
    offset_ = values.offset;
    slope_ = values.slope;
    if (!pass_.varyAmplitude) {
        if (!curve_.normalisation(derivatives, norm_, &cancel_))
            return false;
        amplitude_ = 2 * pass_.scale / norm_.height;
    }
    return true;
}

bool PassRows::rows(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian)
{
    const std::size_t blockPoints = curve_.blockPoints();
    for (std::size_t from = begin; from < end; from += blockPoints) {
        const std::size_t to = std::min(end, from + blockPoints);
        const std::size_t offset = from - begin;
        if (!block(from, to, residual ? residual + offset : nullptr, jacobian, static_cast<Eigen::Index>(offset)))
            return false;
        if (tick_ && !tick_(static_cast<double>(to - begin) / static_cast<double>(end - begin)))
            return cancelled();
    }
    return true;
}

bool PassRows::block(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian,
                     Eigen::Index firstRow)
{
    const Samples& samples = *pass_.samples;
    const std::span<const double> field = samples.field().subspan(begin, end - begin);
    const std::span<const double> data = samples.data().subspan(begin, end - begin);
    const std::span<const double> weight =
        samples.weight().empty() ? std::span<const double>() : samples.weight().subspan(begin, end - begin);
    const std::size_t n = field.size();
    offsets_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        offsets_[i] = field[i] - values_.centre;
    if (!curve_.sums(offsets_, jacobian != nullptr, sums_, &cancel_))
        return false;

    const double amplitude = amplitude_;
    if (residual) {
        for (std::size_t i = 0; i < n; ++i)
            residual[i] = amplitude * sums_.value[i] + offset_ + slope_ * offsets_[i] - data[i];
        if (!weight.empty())
            for (std::size_t i = 0; i < n; ++i)
                residual[i] *= weight[i];
    }
    if (jacobian) {
        const std::size_t columns = pass_.columns().count();
        for (std::size_t i = 0; i < n; ++i) {
            const auto row = firstRow + static_cast<Eigen::Index>(i);
            Eigen::Index k = 0;
            for (std::size_t c = 0; c < columns; ++c) {
                double d = amplitude * sums_.dColumn[i * columns + c];
                if (!pass_.varyAmplitude)
                    d -= amplitude * sums_.value[i] * norm_.dColumn[c] / norm_.height;
                (*jacobian)(row, k++) = d;
            }
            if (pass_.varyCentre)
                (*jacobian)(row, k++) = amplitude * sums_.dCentre[i] - slope_;
            if (pass_.varyAmplitude)
                (*jacobian)(row, k++) = sums_.value[i];
            if (pass_.varyOffset)
                (*jacobian)(row, k++) = 1.0;
            if (pass_.varySlope)
                (*jacobian)(row, k++) = offsets_[i];
            if (!weight.empty())
                jacobian->row(row) *= weight[i];
        }
    }
    return true;
}

int PassFunctor::operator()(const InputType& x, ValueType& residual)
{
    if (evaluate(x, &residual, nullptr))
        return 0;
    if (rows_.stop() != Stop::OutOfRange)
        return -1;
    residual.setConstant(kOutOfRangeResidual);
    return 0;
}

} // namespace ravelle::fit
