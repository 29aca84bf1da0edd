#pragma once

#include <Eigen/Dense>

#include <vector>

namespace ravelle::fit {

// s^2 (J^T J)^-1, by the singular values of J with its columns scaled to
// unit length, so that the test for an undetermined direction does not
// depend on the parameters' units. A parameter with a share in a direction
// the data leave free is marked undetermined.
struct Covariance {
    Eigen::MatrixXd matrix;
    std::vector<bool> determined;
};

Covariance covarianceOf(Eigen::MatrixXd jacobian, double variance);

double rmsOf(const Eigen::VectorXd& residual);

} // namespace ravelle::fit
