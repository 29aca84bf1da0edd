#include "engine/fit/FitRun.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "engine/fit/Covariance.h"
#include "engine/fit/Layout.h"
#include "engine/fit/LineTable.h"
#include "engine/fit/Model.h"
#include "engine/fit/Pass.h"
#include "engine/fit/Points.h"

namespace ravelle::fit {

namespace {

// More distinct lines than this make every step slow and the line table big.
constexpr double kMaxFitLines = 200000;
// The first pass on smoothed data is this fraction of the spread of the
// varied lines wide: wide enough to pull lines a little off into place,
// narrow enough to keep what tells the constants apart.
constexpr double kFirstSmoothingFraction = 0.03;
constexpr int kMaxEvaluationsCoarse = 60;
constexpr double kToleranceCoarse = 1e-4;
constexpr double kToleranceFinal = 1e-8;
// A smoothed pass varies a set only while its splitting is this many line
// widths: a finer one does not show and would only wander.
constexpr double kResolvedWidths = 2.0;
// At most this many starts: the user's values, then others scattered around
// them (a fixed seed, so that a fit gives the same result every time).
constexpr int kMaxStarts = 12;
constexpr std::uint32_t kStartSeed = 20050105;
constexpr double kScatterConstant = 0.15;
constexpr double kScatterSigma = 0.20;
// Two starts ending this close (relative residual sum) found one minimum;
// once the best has been found this often, more starts would find it again.
constexpr double kSameMinimum = 1e-4;
constexpr int kFoundAgain = 3;
// Residual variance over half its mean square difference: 1 for white noise.
constexpr double kNoiseLikeRatio = 1.15;
constexpr std::string_view kSigmaThroughZero =
    "Sigma ran through zero: the line width is not determined. Start from a better line width or keep Sigma fixed.";

const double kInfinity = std::numeric_limits<double>::infinity();

class FitRun {
public:
    FitRun(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
        : problem_(problem), cancel_(cancel), progress_(progress), layout_(layoutOf(problem))
    {
    }

    FitResult run()
    {
        result_.values = startingValues(problem_);
        result_.pointCount = static_cast<int>(problem_.field.size());
        result_.parameterCount = static_cast<int>(layout_.sets.size()) + int{layout_.varySigma} +
                                 int{layout_.varyCentre} + int{layout_.varyScale};

        if (result_.parameterCount == 0)
            return fail(stopped(FitOutcome::Failed, "Nothing to fit: tick Vary for at least one parameter."));
        if (result_.pointCount <= result_.parameterCount)
            return fail(stopped(FitOutcome::TooFewPoints,
                         "Only " + std::to_string(result_.pointCount) +
                             " observed points lie in the frame, not enough to fit " +
                             std::to_string(result_.parameterCount) +
                             " parameters: widen the display range (G) or vary fewer parameters."));

        std::vector<Pattern> patterns;
        for (const CouplingSet& set : layout_.sets)
            patterns.push_back(patternOf(set.kind, static_cast<int>(set.members.size())));
        const auto base = fixedLines(layout_.fixed);
        const double lines = lineCount(base, patterns);
        if (lines > kMaxFitLines)
            return fail(stopped(FitOutcome::Failed,
                         "This fit would follow " + std::to_string(static_cast<long long>(lines)) +
                             " separate lines, more than the " + std::to_string(static_cast<long>(kMaxFitLines)) +
                             " it can handle. Give equivalent nuclei equal values, or fix some constants."));
        model_.emplace(problem_, buildLineTable(base, patterns));

        points_ = sortedPoints(problem_);
        spacing_ = medianSpacing(points_.field);
        for (const CouplingSet& set : layout_.sets)
            start_.set.push_back(set.start);
        start_.sigma = std::abs(valueOf(problem_, layout_.sigma, 0.1));
        start_.centre = valueOf(problem_, layout_.centre, 0.0);
        scale_ = valueOf(problem_, layout_.scale, 1.0);

        // The curve the plot shows now.
        Normalisation norm;
        model_->place(start_.set);
        if (!model_->normalisation(start_.sigma, false, norm, &cancel_))
            return fail(cancelled());
        if (!(norm.height > 0) || !std::isfinite(norm.height))
            return fail(stopped(FitOutcome::Failed,
                         "The simulated spectrum is flat on the display grid, so it cannot be scaled to the "
                         "observed one: check the display range (G), the points (NoPnts) and the constants."));
        start_.amplitude = 2 * scale_ / norm.height;

        const Pass raw = finalPass();
        Eigen::VectorXd residual;
        if (!residualsAt(raw, start_, residual))
            return fail(cancelled());
        result_.rmsBefore = rmsOf(residual);

        // The user's values first; then starts scattered around them, until
        // what is left over is noise or the best minimum has been found again.
        std::mt19937 random(kStartSeed);
        std::optional<Attempt> best;
        Attempt first;
        int bestFound = 0;
        // Without a varied constant no line moves against the others, and
        // the one minimum near the start is the answer.
        const int starts = layout_.sets.empty() ? 1 : kMaxStarts;
        for (int k = 0; k < starts; ++k) {
            attempt_ = k;
            Attempt attempt = attemptFrom(k == 0 ? start_ : scattered(random), raw);
            if (attempt.outcome == FitOutcome::Cancelled)
                return fail(attempt);
            if (k == 0)
                first = attempt;
            if (attempt.outcome != FitOutcome::Converged)
                continue;
            if (best && std::abs(attempt.rss - best->rss) <= kSameMinimum * best->rss) {
                ++bestFound;
            } else if (!best || attempt.rss < best->rss) {
                best = attempt;
                bestFound = 1;
            }
            if (best->noiseLike || bestFound >= kFoundAgain)
                break;
        }
        if (!best)
            return fail(first);
        current_ = best->values;
        return finish(raw);
    }

private:
    struct Attempt {
        FitOutcome outcome = FitOutcome::Converged;
        std::string message;
        ModelValues values;
        double rss = kInfinity;
        bool noiseLike = false;
    };

    static Attempt stopped(FitOutcome outcome, std::string message)
    {
        Attempt attempt;
        attempt.outcome = outcome;
        attempt.message = std::move(message);
        return attempt;
    }
    static Attempt cancelled() { return stopped(FitOutcome::Cancelled, "Fit cancelled; nothing has changed."); }

    FitResult fail(const Attempt& attempt)
    {
        result_.outcome = attempt.outcome;
        result_.message = attempt.message;
        for (FittedValue& value : result_.values)
            value.value = value.start;
        return result_;
    }

    // A start around the user's values: each constant within 15 %, sigma
    // within 20 %, the centre within two line widths.
    ModelValues scattered(std::mt19937& random) const
    {
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        ModelValues values = start_;
        for (double& value : values.set)
            value *= 1 + kScatterConstant * unit(random);
        if (layout_.varySigma)
            values.sigma *= 1 + kScatterSigma * unit(random);
        if (layout_.varyCentre)
            values.centre += 2 * start_.sigma * unit(random);
        return values;
    }

    // The smoothed passes, then the pass on the raw points.
    Attempt attemptFrom(const ModelValues& from, const Pass& raw)
    {
        current_ = from;
        for (const double width : smoothingWidths(from)) {
            const Pass pass = coarsePass(width, from);
            if (auto stop = minimise(pass, kToleranceCoarse, kMaxEvaluationsCoarse))
                return *stop;
        }
        current_.offset = 0.0;
        if (auto stop = minimise(raw, kToleranceFinal, 200 + 40 * result_.parameterCount))
            return *stop;
        Attempt attempt;
        attempt.values = current_;
        Eigen::VectorXd residual;
        if (!residualsAt(raw, current_, residual))
            return cancelled();
        attempt.rss = residual.squaredNorm();
        attempt.noiseLike = noiseLike(residual);
        return attempt;
    }

    // Whether the residual, in field order, is white noise: its variance is
    // then half the mean square of its point-to-point differences. A wrong
    // minimum leaves line-shaped misfits, which raise the variance far more
    // than the differences.
    static bool noiseLike(const Eigen::VectorXd& residual)
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

    Pass finalPass() const
    {
        Pass pass;
        pass.field = points_.field;
        pass.data = points_.data;
        pass.varySigma = layout_.varySigma;
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = layout_.varyScale;
        pass.scale = scale_;
        pass.varySet.assign(layout_.sets.size(), true);
        return pass;
    }

    // The smoothed passes: widths from a fraction of the spread of the
    // varied lines down, halving, while they are wider than the line and the
    // sampling can carry them.
    std::vector<double> smoothingWidths(const ModelValues& from) const
    {
        double spread = 0.0;
        for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
            const double n = static_cast<double>(layout_.sets[g].members.size());
            spread += std::abs(from.set[g]) * (layout_.sets[g].kind == FitParameterKind::Hydrogen ? n / 2 : n);
        }
        std::vector<double> widths;
        for (double width = kFirstSmoothingFraction * spread; width > from.sigma && width > 2 * spacing_; width /= 2)
            widths.push_back(width);
        return widths;
    }

    // A smoothed pass varies the sets whose splitting it still resolves;
    // the line width stays as it is, since a smoothed spectrum says little
    // about it.
    Pass coarsePass(double width, const ModelValues& from) const
    {
        Pass pass;
        pass.smoothing = width;
        const auto stride = static_cast<std::size_t>(std::max(1.0, std::floor(width / (2 * spacing_))));
        smooth(points_, width, stride, pass);
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = true;
        pass.varyOffset = true;
        pass.scale = scale_;
        const double lineWidth = std::sqrt(from.sigma * from.sigma + width * width);
        for (const double value : from.set)
            pass.varySet.push_back(std::abs(value) >= kResolvedWidths * lineWidth);
        return pass;
    }

    int parametersOf(const Pass& pass) const
    {
        return static_cast<int>(std::count(pass.varySet.begin(), pass.varySet.end(), true)) + int{pass.varySigma} +
               int{pass.varyCentre} + int{pass.varyAmplitude} + int{pass.varyOffset};
    }

    bool residualsAt(const Pass& pass, const ModelValues& values, Eigen::VectorXd& residual)
    {
        PassFunctor functor(*model_, pass, values, cancel_, parametersOf(pass));
        residual.resize(static_cast<Eigen::Index>(pass.field.size()));
        return functor.evaluate(PassFunctor::pack(values, pass), &residual, nullptr);
    }

    // Runs Levenberg-Marquardt on one pass from the current values. Returns
    // the attempt's end when it has to stop here.
    std::optional<Attempt> minimise(const Pass& pass, double tolerance, int maxEvaluations)
    {
        const int parameters = parametersOf(pass);
        if (parameters == 0 || static_cast<int>(pass.field.size()) <= parameters)
            return std::nullopt;
        PassFunctor functor(*model_, pass, current_, cancel_, parameters);
        Eigen::LevenbergMarquardt<PassFunctor> lm(functor);
        lm.setFtol(tolerance);
        lm.setXtol(tolerance);
        lm.setMaxfev(maxEvaluations);
        Eigen::VectorXd x = PassFunctor::pack(current_, pass);

        auto status = lm.minimizeInit(x);
        while (status == Eigen::LevenbergMarquardtSpace::NotStarted ||
               status == Eigen::LevenbergMarquardtSpace::Running) {
            if (cancel_.load())
                return cancelled();
            status = lm.minimizeOneStep(x);
            if (status == Eigen::LevenbergMarquardtSpace::UserAsked)
                break;
            current_ = functor.unpack(x);
            ++result_.iterations;
            if (progress_)
                progress_({pass.smoothing > 0 ? FitPhase::Smoothed : FitPhase::Points, result_.iterations,
                           attempt_ + 1, pass.smoothing, lm.fnorm() / std::sqrt(static_cast<double>(pass.field.size())),
                           0.0});
            if (auto runaway = runAway())
                return stopped(FitOutcome::RunAway, *runaway);
        }
        if (status == Eigen::LevenbergMarquardtSpace::UserAsked) {
            if (functor.stop() == Stop::SigmaZero)
                return stopped(FitOutcome::RunAway, std::string(kSigmaThroughZero));
            return cancelled();
        }
        if (pass.smoothing == 0.0 && status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation)
            return stopped(FitOutcome::NotConverged,
                           "The fit did not converge within " + std::to_string(maxEvaluations) +
                               " evaluations. Bring the simulated trace closer to the observed one by hand, or "
                               "vary fewer parameters, and start again.");
        if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters)
            return stopped(FitOutcome::Failed, "The fit could not start: the problem is not well posed.");
        return std::nullopt;
    }

    // A parameter that left the range where the fit means anything.
    std::optional<std::string> runAway() const
    {
        if (layout_.varySigma && !(current_.sigma > 0))
            return std::string(kSigmaThroughZero);
        const double range = std::abs(problem_.displayRange);
        for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
            if (std::abs(current_.set[g]) > range && std::abs(layout_.sets[g].start) <= range) {
                const std::string names = namesOf(problem_, layout_.sets[g]);
                return names + " ran beyond the display range: the observed spectrum does not hold this coupling. "
                               "Check the number of nuclei, or keep " + names + " fixed.";
            }
        }
        if (layout_.varyCentre && std::abs(current_.centre - start_.centre) > range / 2)
            return "The centre field ran out of the frame: bring the simulated trace closer to the observed one "
                   "and start again.";
        if (!std::isfinite(current_.amplitude) || current_.amplitude * start_.amplitude < 0)
            return "The scale ran through zero, turning the simulated trace upside down: the observed spectrum does "
                   "not look like the simulated one here. Bring the two closer by hand and start again.";
        return std::nullopt;
    }

    FitResult finish(const Pass& raw)
    {
        const int n = static_cast<int>(raw.field.size());
        const int p = parametersOf(raw);
        PassFunctor functor(*model_, raw, current_, cancel_, p);
        const Eigen::VectorXd x = PassFunctor::pack(current_, raw);
        Eigen::VectorXd residual(n);
        Eigen::MatrixXd jacobian(n, p);
        if (!functor.evaluate(x, &residual, &jacobian))
            return fail(cancelled());
        result_.rmsAfter = rmsOf(residual);
        const double variance = residual.squaredNorm() / (n - p);

        Covariance fitted = covarianceOf(std::move(jacobian), variance);
        const Eigen::MatrixXd& covariance = fitted.matrix;
        std::vector<bool>& determined = fitted.determined;
        const auto uncertainty = [&](Eigen::Index k) {
            return determined[static_cast<std::size_t>(k)] ? std::sqrt(std::max(covariance(k, k), 0.0)) : kInfinity;
        };
        // An uncertainty wider than the display range determines nothing either.
        const double range = std::abs(problem_.displayRange);
        const Eigen::Index lengths = raw.varyAmplitude ? p - 1 : p; // all but the amplitude are in gauss
        for (Eigen::Index j = 0; j < lengths; ++j)
            if (uncertainty(j) > range)
                determined[static_cast<std::size_t>(j)] = false;

        std::vector<std::string> undetermined;
        Eigen::Index k = 0;
        // Records column k for the parameters it stands for: their value and
        // uncertainty, and its name when the data leave it undetermined.
        const auto record = [&](const std::vector<std::size_t>& members, double value, double error,
                                std::string name) {
            for (const std::size_t member : members) {
                result_.values[member].value = value;
                result_.values[member].uncertainty = error;
            }
            if (!determined[static_cast<std::size_t>(k)])
                undetermined.push_back(std::move(name));
            ++k;
        };
        for (std::size_t g = 0; g < layout_.sets.size(); ++g)
            record(layout_.sets[g].members, current_.set[g], uncertainty(k), namesOf(problem_, layout_.sets[g]));
        Eigen::Index sigmaColumn = -1;
        if (raw.varySigma) {
            sigmaColumn = k;
            record({*layout_.sigma}, current_.sigma, uncertainty(k), "Sigma");
        }
        if (raw.varyCentre)
            record({*layout_.centre}, current_.centre, uncertainty(k), "GCntr");
        if (raw.varyAmplitude) {
            // Scl = amplitude * height / 2, the height depending on the sets
            // and sigma: its variance by the propagation of the covariance.
            Normalisation norm;
            model_->place(current_.set);
            model_->normalisation(current_.sigma, true, norm, nullptr);
            Eigen::VectorXd gradient = Eigen::VectorXd::Zero(p);
            for (std::size_t g = 0; g < layout_.sets.size(); ++g)
                gradient[static_cast<Eigen::Index>(g)] = current_.amplitude * norm.dSet[g] / 2;
            if (sigmaColumn >= 0)
                gradient[sigmaColumn] = current_.amplitude * norm.dSigma / 2;
            gradient[k] = norm.height / 2;
            bool known = true;
            for (Eigen::Index j = 0; j < p; ++j)
                if (gradient[j] != 0 && !determined[static_cast<std::size_t>(j)])
                    known = false;
            record({*layout_.scale}, current_.amplitude * norm.height / 2,
                   known ? std::sqrt(std::max(gradient.dot(covariance * gradient), 0.0)) : kInfinity, "Scl");
        }
        result_.outcome = FitOutcome::Converged;
        if (!undetermined.empty())
            result_.message = "The observed spectrum does not determine " + joined(undetermined) +
                              ", so their uncertainties are unknown: a splitting hidden in the line width, a "
                              "constant of 0 or two constants that can trade places leave them free. Fix some of "
                              "them, or keep equal constants equal.";
        return result_;
    }

    const FitProblem& problem_;
    const std::atomic<bool>& cancel_;
    const FitProgressCallback& progress_;
    Layout layout_;
    std::optional<Model> model_;
    Points points_;
    double spacing_ = 0.0;
    int attempt_ = 0;
    ModelValues start_;
    ModelValues current_;
    double scale_ = 1.0;
    FitResult result_;
};

} // namespace

FitResult fitFrom(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
{
    return FitRun(problem, cancel, progress).run();
}

} // namespace ravelle::fit
