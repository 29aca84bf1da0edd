#pragma once

#include <Eigen/Dense>

#include <vector>

#include "engine/fit/Fit.h"
#include "engine/fit/Layout.h"
#include "engine/fit/Curve.h"
#include "engine/fit/Pass.h"

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

// A converged fit's end: every varied value at `values` into `result` with its
// standard uncertainty from the covariance of the pass's parameters (Scl's by
// propagation through the curve's height), the g-value of the centre where
// the frequency is known, and in its message the names of those the data
// leave undetermined.
void recordFitted(const FitProblem& problem, const Layout& layout, Curve& curve, const ModelValues& values,
                  const Pass& pass, Covariance fitted, FitResult& result);

} // namespace ravelle::fit
