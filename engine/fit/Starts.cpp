#include "engine/fit/Starts.h"

#include <cmath>
#include <utility>

namespace ravelle::fit {

namespace {

// Two starts ending this close (relative residual sum) found one minimum;
// once the best has been found this often, more starts would find it again.
constexpr double kSameMinimum = 1e-4;
constexpr int kFoundAgain = 3;
// Residual variance over half its mean square difference: 1 for white noise.
constexpr double kNoiseLikeRatio = 1.15;

} // namespace

bool looksLikeNoise(const Eigen::VectorXd& residual)
{
    const Eigen::Index n = residual.size();
    if (n < 3)
        return false;
    const double mean = residual.mean();
    const double variance = (residual.array() - mean).square().sum() / static_cast<double>(n);
    const double differences =
        (residual.tail(n - 1) - residual.head(n - 1)).squaredNorm() / (2.0 * static_cast<double>(n - 1));
    return variance <= kNoiseLikeRatio * differences;
}

void StartLog::take(int k, Attempt attempt)
{
    if (k == 0)
        first_ = attempt;
    if (attempt.outcome != FitOutcome::Converged)
        return;
    if (best_ && std::abs(attempt.rss - best_->rss) <= kSameMinimum * best_->rss) {
        if (static_cast<std::size_t>(k) >= firstStarts_)
            ++bestFound_;
    } else if (!best_ || attempt.rss < best_->rss) {
        best_ = std::move(attempt);
        bestFound_ = 1;
    }
}

bool StartLog::enough() const { return best_ && (best_->noiseLike || bestFound_ >= kFoundAgain); }

} // namespace ravelle::fit
