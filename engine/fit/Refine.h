#pragma once

#include <Eigen/Dense>

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "engine/fit/Pass.h"
#include "engine/fit/Points.h"

// Levenberg-Marquardt on every point of a very long spectrum without ever
// holding its Jacobian: each evaluation takes the points a block at a time
// and keeps only the triangular factor R of the Jacobian (J = QR) and Q^T r.
// R has the singular values and right singular vectors of J, so the step
// and the covariance come out as from J itself.
namespace ravelle::fit {

struct Factor {
    Eigen::MatrixXd r;   // p x p, upper triangular
    Eigen::VectorXd qtr; // Q^T times the residuals, the first p entries
    double rss = 0.0;    // residual sum of squares
};

// The residual sum of squares of a pass at `values`, and with `derivatives`
// the factor of its Jacobian. Tells `tick` the share done after every block.
// False on a cancel or values out of range (rows.stop() says which).
bool streamed(PassRows& rows, std::size_t count, const ModelValues& values, bool derivatives, int parameters,
              Factor& out, const WorkTick& tick);

enum class RefineEnd { Converged, NotConverged, Stopped };

struct RefineWatch {
    WorkTick tick;
    // After every accepted step: reports it; a text stops the refinement
    // (a parameter ran away).
    std::function<std::optional<std::string>(const ModelValues& values, double rss)> accepted;
};

struct Refined {
    RefineEnd end = RefineEnd::Stopped;
    Stop stop = Stop::None;  // why it stopped: a cancel or a sigma of 0
    std::string runAway;     // or a parameter that ran away
    Factor factor;           // at the final values
};

// Minimises the pass from `values`, which it leaves at the best found, in at
// most `mostSteps` evaluations; converged when a step lowers the residual sum
// by less than `tolerance` of it or moves the parameters by less than that.
// A step to values out of the model's range is refused like one that does
// not lower the sum.
Refined refine(Curve& curve, const Pass& pass, ModelValues& values, const std::atomic<bool>& cancel, int mostSteps,
               double tolerance, const RefineWatch& watch);

} // namespace ravelle::fit
