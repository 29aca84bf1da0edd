#include "engine/fit/Covariance.h"

#include <cmath>

namespace ravelle::fit {

namespace {

constexpr double kNotDeterminedCondition = 1e-10;

} // namespace

Covariance covarianceOf(Eigen::MatrixXd jacobian, double variance)
{
    const Eigen::Index p = jacobian.cols();
    const Eigen::VectorXd norm = jacobian.colwise().norm().transpose();
    const Eigen::VectorXd scale = (norm.array() > 0).select(norm, 1.0);
    for (Eigen::Index k = 0; k < p; ++k)
        jacobian.col(k) /= scale[k];
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(jacobian, Eigen::ComputeThinV);
    const Eigen::VectorXd singular = svd.singularValues();
    const double largest = singular.size() ? singular[0] : 0.0;
    Covariance covariance{Eigen::MatrixXd::Zero(p, p), std::vector<bool>(static_cast<std::size_t>(p), true)};
    for (Eigen::Index k = 0; k < p; ++k) {
        const double s = singular[k];
        const auto direction = svd.matrixV().col(k);
        if (s > 0 && s > kNotDeterminedCondition * largest) {
            covariance.matrix += direction * direction.transpose() / (s * s);
            continue;
        }
        for (Eigen::Index j = 0; j < p; ++j)
            if (std::abs(direction[j]) > 1e-6)
                covariance.determined[static_cast<std::size_t>(j)] = false;
    }
    for (Eigen::Index k = 0; k < p; ++k)
        if (norm[k] == 0)
            covariance.determined[static_cast<std::size_t>(k)] = false;
    covariance.matrix = variance * scale.asDiagonal().inverse() * covariance.matrix * scale.asDiagonal().inverse();
    return covariance;
}

double rmsOf(const Eigen::VectorXd& residual)
{
    return residual.size() == 0 ? 0.0 : residual.norm() / std::sqrt(static_cast<double>(residual.size()));
}

} // namespace ravelle::fit
