#include "engine/fit/Pass.h"

#include <algorithm>
#include <cmath>

namespace ravelle::fit {

namespace {

// Points whose sums are taken at once: their scratch stays small, and a
// long evaluation can say how far it has got.
constexpr std::size_t kBlockPoints = 1 << 14;

} // namespace

int parameterCount(const Pass& pass)
{
    return static_cast<int>(std::count(pass.varySet.begin(), pass.varySet.end(), true)) + int{pass.varySigma} +
           int{pass.varyCentre} + int{pass.varyAmplitude} + int{pass.varyOffset};
}

bool PassRows::at(const ModelValues& values, bool derivatives)
{
    if (values.sigma == 0.0) {
        stop_ = Stop::SigmaZero;
        return false;
    }
    values_ = values;
    sign_ = values.sigma < 0 ? -1.0 : 1.0; // a negative sigma draws as its absolute value
    sigma_ = std::abs(values.sigma);
    width_ = std::sqrt(sigma_ * sigma_ + pass_.smoothing * pass_.smoothing);
    model_.place(values.set);
    amplitude_ = values.amplitude;
    offset_ = pass_.varyOffset ? values.offset : 0.0;
    if (!pass_.varyAmplitude) {
        if (!model_.normalisation(sigma_, derivatives, norm_, &cancel_))
            return cancelled();
        amplitude_ = 2 * pass_.scale / norm_.height;
    }
    return true;
}

bool PassRows::rows(std::size_t begin, std::size_t end, double* residual, Eigen::MatrixXd* jacobian)
{
    for (std::size_t from = begin; from < end; from += kBlockPoints) {
        const std::size_t to = std::min(end, from + kBlockPoints);
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
    if (!model_.sums(offsets_, width_, jacobian != nullptr, sums_, &cancel_))
        return cancelled();

    const double amplitude = amplitude_;
    if (residual) {
        for (std::size_t i = 0; i < n; ++i)
            residual[i] = amplitude * sums_.value[i] + offset_ - data[i];
        if (!weight.empty())
            for (std::size_t i = 0; i < n; ++i)
                residual[i] *= weight[i];
    }
    if (jacobian) {
        const std::size_t sets = model_.sets();
        const double widthPerSigma = sign_ * sigma_ / width_;
        for (std::size_t i = 0; i < n; ++i) {
            const auto row = firstRow + static_cast<Eigen::Index>(i);
            Eigen::Index k = 0;
            for (std::size_t g = 0; g < sets; ++g) {
                if (!pass_.varySet[g])
                    continue;
                double d = amplitude * sums_.dSet[i * sets + g];
                if (!pass_.varyAmplitude)
                    d -= amplitude * sums_.value[i] * norm_.dSet[g] / norm_.height;
                (*jacobian)(row, k++) = d;
            }
            if (pass_.varySigma) {
                double d = amplitude * sums_.dSigma[i] * widthPerSigma;
                if (!pass_.varyAmplitude)
                    d -= amplitude * sums_.value[i] * norm_.dSigma * sign_ / norm_.height;
                (*jacobian)(row, k++) = d;
            }
            if (pass_.varyCentre)
                (*jacobian)(row, k++) = amplitude * sums_.dCentre[i];
            if (pass_.varyAmplitude)
                (*jacobian)(row, k++) = sums_.value[i];
            if (pass_.varyOffset)
                (*jacobian)(row, k++) = 1.0;
            if (!weight.empty())
                jacobian->row(row) *= weight[i];
        }
    }
    return true;
}

} // namespace ravelle::fit
