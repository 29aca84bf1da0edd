#pragma once

#include <Eigen/Dense>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "engine/fit/Fit.h"
#include "engine/fit/Values.h"

// The starts a fit tries: the user's values, the search's best, then starts
// scattered around them, until what is left over is noise or the best
// minimum has been found again.
namespace ravelle::fit {

// At most this many starts (a fixed seed for the scattered ones, so that a
// fit gives the same result every time).
inline constexpr int kMaxStarts = 12;
inline constexpr std::uint32_t kStartSeed = 20050105;

// How one start ended.
struct Attempt {
    FitOutcome outcome = FitOutcome::Converged;
    std::string message;
    ModelValues from;
    ModelValues values;
    double rss = std::numeric_limits<double>::infinity();
    bool noiseLike = false;
};

// Whether a residual, in field order, is white noise: its variance is then
// half the mean square of its point-to-point differences. A wrong minimum
// leaves line-shaped misfits, which raise the variance far more than the
// differences.
bool looksLikeNoise(const Eigen::VectorXd& residual);

class StartLog {
public:
    // `firstStarts`: the user's values and the search's best, tried before
    // any scattered start.
    explicit StartLog(std::size_t firstStarts) : firstStarts_(firstStarts) {}

    // Takes the end of start k, in order.
    void take(int k, Attempt attempt);
    // Whether more starts would tell nothing new.
    bool enough() const;
    // Where start k, a scattered one, is scattered: around the search's best
    // (true) or the user's values. Where the user's values went nowhere the
    // two take turns: either may be the better guide when the model is not
    // the spectrum's.
    bool aroundSearched(int k) const { return first_.outcome != FitOutcome::Converged && k % 2 == 1; }

    const std::optional<Attempt>& best() const { return best_; }
    const Attempt& first() const { return first_; }

private:
    std::size_t firstStarts_;
    Attempt first_;
    std::optional<Attempt> best_;
    int bestFound_ = 0;
};

} // namespace ravelle::fit
