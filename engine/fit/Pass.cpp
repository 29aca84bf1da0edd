#include "engine/fit/Pass.h"

#include <cmath>

namespace ravelle::fit {

bool PassFunctor::evaluate(const InputType& x, ValueType* residual, JacobianType* jacobian)
{
    const ModelValues values = unpack(x);
    if (values.sigma == 0.0) {
        stop_ = Stop::SigmaZero;
        return false;
    }
    const double sign = values.sigma < 0 ? -1.0 : 1.0; // a negative sigma draws as its absolute value
    const double sigma = std::abs(values.sigma);
    const double width = std::sqrt(sigma * sigma + pass_.smoothing * pass_.smoothing);
    model_.place(values.set);

    const std::size_t n = pass_.field.size();
    offsets_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        offsets_[i] = pass_.field[i] - values.centre;
    const bool derivatives = jacobian != nullptr;
    if (!model_.sums(offsets_, width, derivatives, sums_, &cancel_))
        return cancelled();

    double amplitude = values.amplitude;
    const double offset = pass_.varyOffset ? values.offset : 0.0;
    Normalisation norm;
    if (!pass_.varyAmplitude) {
        if (!model_.normalisation(sigma, derivatives, norm, &cancel_))
            return cancelled();
        amplitude = 2 * pass_.scale / norm.height;
    }

    if (residual) {
        for (std::size_t i = 0; i < n; ++i)
            (*residual)[static_cast<Eigen::Index>(i)] = amplitude * sums_.value[i] + offset - pass_.data[i];
    }
    if (jacobian) {
        const std::size_t sets = model_.sets();
        const double widthPerSigma = sign * sigma / width;
        for (std::size_t i = 0; i < n; ++i) {
            const auto row = static_cast<Eigen::Index>(i);
            Eigen::Index k = 0;
            for (std::size_t g = 0; g < sets; ++g) {
                if (!pass_.varySet[g])
                    continue;
                double d = amplitude * sums_.dSet[i * sets + g];
                if (!pass_.varyAmplitude)
                    d -= amplitude * sums_.value[i] * norm.dSet[g] / norm.height;
                (*jacobian)(row, k++) = d;
            }
            if (pass_.varySigma) {
                double d = amplitude * sums_.dSigma[i] * widthPerSigma;
                if (!pass_.varyAmplitude)
                    d -= amplitude * sums_.value[i] * norm.dSigma * sign / norm.height;
                (*jacobian)(row, k++) = d;
            }
            if (pass_.varyCentre)
                (*jacobian)(row, k++) = amplitude * sums_.dCentre[i];
            if (pass_.varyAmplitude)
                (*jacobian)(row, k++) = sums_.value[i];
            if (pass_.varyOffset)
                (*jacobian)(row, k++) = 1.0;
        }
    }
    return true;
}

} // namespace ravelle::fit
