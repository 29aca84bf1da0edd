#include "engine/fit/FitRun.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "engine/Messages.h"
#include "engine/fit/Covariance.h"
#include "engine/fit/Curve.h"
#include "engine/fit/Layout.h"
#include "engine/fit/ModelBuilder.h"
#include "engine/fit/Pass.h"
#include "engine/fit/Points.h"
#include "engine/fit/Refine.h"
#include "engine/fit/Starts.h"
#include "engine/fit/Geometry.h"
#include "engine/fit/Trace.h"

namespace ravelle::fit {

namespace {

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
// A spectrum of more points than this is fitted on averages of neighbouring
// points, then a few last steps on every point: a Jacobian of every point of
// a very long spectrum would take gigabytes and every step seconds.
constexpr std::size_t kAveragedFrom = 100'000;
// Between this few and this many averages, each at most this share of the
// line width wide, where that allows.
constexpr std::size_t kLeastAverages = 20'000;
constexpr std::size_t kMostAverages = 50'000;
constexpr double kAverageWidths = 0.25;
// The spacing of a very long spectrum is judged from this many gaps.
constexpr std::size_t kSpacingSample = 1'000'000;
// A scattered start whose smoothed passes leave the scale under this share of
// the best minimum's has lost the trace; it is given up once the best leaves
// less than this share of the spectrum's spread about its mean.
constexpr double kLostShare = 0.1;
constexpr double kExplained = 0.1;
// Evaluations of every point allowed for the last steps.
constexpr int kMostRefineSteps = 30;

// What a trace that explains nothing leaves of the samples: their weighted
// residual sum of squares about their weighted mean.
double spreadAboutMean(const Samples& samples)
{
    const std::span<const double> data = samples.data();
    const std::span<const double> weight = samples.weight();
    const auto squaredWeight = [&](std::size_t i) { return weight.empty() ? 1.0 : weight[i] * weight[i]; };
    double sum = 0.0, total = 0.0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        sum += squaredWeight(i) * data[i];
        total += squaredWeight(i);
    }
    const double mean = total > 0 ? sum / total : 0.0;
    double spread = 0.0;
    for (std::size_t i = 0; i < data.size(); ++i)
        spread += squaredWeight(i) * (data[i] - mean) * (data[i] - mean);
    return spread;
}

class FitRun {
public:
    FitRun(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
        : problem_(problem), cancel_(cancel), progress_(progress), layout_(layoutOf(problem)), builder_(layout_),
          geometry_(layout_, builder_)
    {
    }

    FitResult run()
    {
        result_.values = startingValues(problem_);
        result_.pointCount = static_cast<int>(problem_.field.size());
        result_.parameterCount = layout_.freeCount();

        if (result_.parameterCount == 0)
            return fail(stopped(FitOutcome::Failed, std::string(messages::kFitNothingVaried)));
        if (result_.pointCount <= result_.parameterCount)
            return fail(stopped(FitOutcome::TooFewPoints,
                                messages::fitTooFewPoints(result_.pointCount, result_.parameterCount)));

        curve_ = makeCurve(problem_, layout_);
        for (const CouplingSet& set : layout_.sets)
            start_.set.push_back(set.start);
        for (const ShapeQuantity& quantity : layout_.quantities)
            start_.quantity.push_back(quantity.start);
        start_.centre = valueOf(problem_, layout_.centre, 0.0);
        start_.offset = valueOf(problem_, layout_.offset, 0.0);
        start_.slope = valueOf(problem_, layout_.slope, 0.0);
        scale_ = valueOf(problem_, layout_.scale, 1.0);

        report(FitPhase::Sorting, 0.0);
        auto sorted = sortedPoints(problem_, ticker(FitPhase::Sorting));
        if (!sorted)
            return fail(cancelled());
        points_ = std::make_shared<const Samples>(std::move(*sorted));
        fitted_ = points_;
        if (points_->size() > kAveragedFrom) {
            report(FitPhase::Averaging, 0.0);
            auto means = averaged(*points_, averageSize(), ticker(FitPhase::Averaging));
            if (!means)
                return fail(cancelled());
            fitted_ = std::make_shared<const Samples>(std::move(*means));
        }
        spacing_ = medianSpacing(fitted_->field());

        // The curve the plot shows now.
        const auto height = heightAt(start_);
        if (!height)
            return fail(cancelled());
        if (!(*height > 0) || !std::isfinite(*height))
            return fail(stopped(FitOutcome::Failed, std::string(messages::kFitFlatSpectrum)));
        start_.amplitude = 2 * scale_ / *height;

        report(FitPhase::Starting, 0.0);
        const Pass raw = passOn(fitted_);
        {
            const Pass all = passOn(points_);
            PassRows allRows(*curve_, all, cancel_);
            Factor factor;
            if (!streamed(allRows, all.size(), start_, false, parameterCount(all), factor, ticker(FitPhase::Starting)))
                return fail(stoppedBy(allRows.stop()));
            result_.rmsBefore = std::sqrt(factor.rss / static_cast<double>(all.size()));
        }
        rms_ = result_.rmsBefore;

        // The user's values first, then the global search's best where it
        // differs; then starts scattered around the user's values (and the
        // search's best where those went nowhere), until what is left over is
        // noise or the best minimum has been found again by a scattered start.
        std::vector<ModelValues> firstStarts{start_};
        std::optional<ModelValues> searched;
        if (auto stop = searchForStart(searched))
            return fail(*stop);
        if (searched)
            firstStarts.push_back(*searched);
        std::mt19937 random(kStartSeed);
        StartLog log(firstStarts.size());
        const double spread = spreadAboutMean(*raw.samples);
        // Without a varied constant no line moves against the others, and
        // the one minimum near a start is the answer.
        const int starts = layout_.sets.empty() ? static_cast<int>(firstStarts.size()) : kMaxStarts;
        for (int k = 0; k < starts && !log.enough(); ++k) {
            attempt_ = k;
            const auto from = static_cast<std::size_t>(k);
            const ModelValues& origin = log.aroundSearched(k) ? firstStarts.back() : firstStarts.front();
            attemptStart_ = from < firstStarts.size() ? firstStarts[from] : geometry_.scattered(origin, random);
            // A scattered start is given up when it loses the trace, once the
            // best minimum explains the spectrum; the user's values and the
            // search's best are always followed.
            const auto& best = log.best();
            const double lostBelow = from >= firstStarts.size() && best && best->rss < kExplained * spread
                                         ? kLostShare * std::abs(best->values.amplitude)
                                         : 0.0;
            Attempt attempt = attemptFrom(attemptStart_, raw, lostBelow);
            if (attempt.outcome == FitOutcome::Cancelled)
                return fail(attempt);
            log.take(k, std::move(attempt));
        }
        if (!log.best())
            return fail(log.first());
        const Attempt& best = *log.best();
        current_ = best.values;
        attemptStart_ = best.from;
        return fitted_ == points_ ? finish(raw) : refineAndFinish();
    }

private:
    static Attempt stopped(FitOutcome outcome, std::string message)
    {
        Attempt attempt;
        attempt.outcome = outcome;
        attempt.message = std::move(message);
        return attempt;
    }
    static Attempt cancelled() { return stopped(FitOutcome::Cancelled, std::string(messages::kFitCancelled)); }
    static Attempt notConverged(int evaluations)
    {
        return stopped(FitOutcome::NotConverged, messages::fitNotConverged(evaluations));
    }
    // Why an evaluation did not end: a cancel, or values the model refuses.
    static Attempt stoppedBy(Stop stop)
    {
        return stop == Stop::Cancelled ? cancelled() : stopped(FitOutcome::Failed, std::string(messages::kFitIllPosed));
    }

    // Tells the caller what the fit is doing.
    void report(FitPhase phase, double done) const
    {
        if (progress_)
            progress_({phase, result_.iterations, attempt_ + 1, smoothing_, rms_, done});
    }

    // Reports the share done of a long piece of work; false on a cancel.
    WorkTick ticker(FitPhase phase) const
    {
        return [this, phase](double done) {
            report(phase, done);
            return !cancel_.load(std::memory_order_relaxed);
        };
    }

    FitResult fail(const Attempt& attempt)
    {
        result_.outcome = attempt.outcome;
        result_.message = attempt.message;
        for (FittedValue& value : result_.values)
            value.value = value.start;
        return result_;
    }

    // The peak-to-peak height of the curve on the display grid; nothing on a cancel.
    std::optional<double> heightAt(const ModelValues& values)
    {
        Normalisation norm;
        if (!curve_->prepare(values, 0.0, {}) || !curve_->normalisation(false, norm, &cancel_))
            return curve_->stop() == Stop::Cancelled ? std::nullopt : std::optional<double>(0.0);
        return norm.height;
    }

    // Points per average: as many as keep each average within a quarter of
    // the line width, within the bounds on the number of averages.
    std::size_t averageSize() const
    {
        const std::size_t n = points_->size();
        const std::size_t fewest = (n + kLeastAverages - 1) / kLeastAverages;
        const std::size_t most = (n + kMostAverages - 1) / kMostAverages;
        const double spacing = medianSpacing(points_->field(), kSpacingSample);
        const double width = geometry_.narrowestLine(start_);
        const double narrow = spacing > 0 ? std::floor(kAverageWidths * width / spacing) : 0.0;
        const auto byWidth = static_cast<std::size_t>(std::clamp(narrow, 0.0, static_cast<double>(fewest)));
        return std::clamp(byWidth, most, fewest);
    }

    // The global search for the centre, the widths, the scale and the
    // baseline, from the user's values: its best, where it differs from them.
    // Returns the end of the fit on a cancel.
    std::optional<Attempt> searchForStart(std::optional<ModelValues>& searched)
    {
        SearchSpace space = geometry_.searchSpace(start_, problem_.displayRange, layout_.varySlope);
        if (space.reach == 0.0 && space.widthFactors.size() == 1)
            return std::nullopt;
        if (!layout_.varyScale)
            space.fixedAmplitude = [this](double factor) -> std::optional<double> {
                ModelValues values = start_;
                geometry_.scaleWidths(values, factor);
                const auto height = heightAt(values);
                return height && *height > 0 ? std::optional<double>(2 * scale_ / *height) : std::nullopt;
            };
        report(FitPhase::Searching, 0.0);
        const TemplateOf templateOf = [this](double factor, double first, double step, std::size_t count) {
            return geometry_.templateAt(start_, factor, first, step, count);
        };
        bool stoppedEarly = false;
        const auto found = searchStart(*fitted_, space, templateOf, [&](double done) {
            report(FitPhase::Searching, done);
            stoppedEarly = cancel_.load(std::memory_order_relaxed);
            return !stoppedEarly;
        });
        if (stoppedEarly)
            return cancelled();
        if (!found)
            return std::nullopt;
        ModelValues values = start_;
        if (layout_.varyCentre)
            values.centre = found->centre;
        geometry_.scaleWidths(values, found->widthFactor);
        if (layout_.varyScale)
            values.amplitude = found->amplitude;
        if (layout_.varyOffset)
            values.offset = found->offset;
        if (layout_.varySlope)
            values.slope = found->slope;
        if (values.centre != start_.centre || found->widthFactor != 1.0 || values.amplitude * start_.amplitude < 0)
            searched = values;
        return std::nullopt;
    }

    // The smoothed passes, then the pass on the raw points, unless the
    // smoothed passes leave the scale under `lostBelow`.
    Attempt attemptFrom(const ModelValues& from, const Pass& raw, double lostBelow)
    {
        current_ = from;
        for (const double width : smoothingWidths(from)) {
            const Pass pass = coarsePass(width, from);
            if (auto stop = minimise(pass, kToleranceCoarse, kMaxEvaluationsCoarse))
                return *stop;
        }
        // A trace the smoothed passes shrank to a small share of the size
        // the best minimum gives it has lost the spectrum: its lines pull on
        // nothing, and the pass on the points would only crawl. (While the
        // best leaves much of the spectrum unexplained, such a start may
        // still find a better minimum, and is followed.) Only a scattered
        // start ends so, and its message never shows: where no start
        // converged, the fit reports how the user's values ended.
        if (std::abs(current_.amplitude) < lostBelow)
            return stopped(FitOutcome::RunAway, std::string(messages::kFitScaleThroughZero));
        // The smoothed passes take the baseline along; what is not varied
        // goes back to its value for the pass on the points.
        if (!layout_.varyOffset)
            current_.offset = start_.offset;
        if (!layout_.varySlope)
            current_.slope = start_.slope;
        if (auto stop = minimise(raw, kToleranceFinal, 200 + 40 * result_.parameterCount))
            return *stop;
        Attempt attempt;
        attempt.from = from;
        attempt.values = current_;
        Eigen::VectorXd residual;
        if (!residualsAt(raw, current_, residual))
            return cancelled();
        attempt.rss = residual.squaredNorm();
        attempt.noiseLike = looksLikeNoise(residual);
        return attempt;
    }

    // The pass on the points, or their averages, that ends every start.
    Pass passOn(std::shared_ptr<const Samples> samples) const
    {
        Pass pass;
        pass.samples = std::move(samples);
        pass.varySet.assign(layout_.sets.size(), true);
        pass.varyQuantity.assign(layout_.quantities.size(), true);
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = layout_.varyScale;
        pass.varyOffset = layout_.varyOffset;
        pass.varySlope = layout_.varySlope;
        pass.scale = scale_;
        return pass;
    }

    // The smoothed passes: widths from a fraction of the spread of the
    // varied lines down, halving, while they are wider than the line and the
    // sampling can carry them.
    std::vector<double> smoothingWidths(const ModelValues& from) const
    {
        const double line = geometry_.narrowestLine(from);
        std::vector<double> widths;
        for (double width = kFirstSmoothingFraction * geometry_.setSpread(from); width > line && width > 2 * spacing_;
             width /= 2)
            widths.push_back(width);
        return widths;
    }

    // A smoothed pass varies the sets whose splitting it still resolves, the
    // species' weights and shifts, the centre, the scale and the baseline;
    // the line widths stay as they are, since a smoothed spectrum says little
    // about them.
    Pass coarsePass(double width, const ModelValues& from) const
    {
        Pass pass;
        pass.smoothing = width;
        const auto stride = static_cast<std::size_t>(std::max(1.0, std::floor(width / (2 * spacing_))));
        pass.samples = std::make_shared<const Samples>(smooth(*fitted_, width, stride));
        pass.varyCentre = layout_.varyCentre;
        pass.varyAmplitude = true;
        pass.varyOffset = true;
        pass.varySlope = layout_.varySlope;
        pass.scale = scale_;
        const double line = geometry_.narrowestLine(from);
        const double lineWidth = std::sqrt(line * line + width * width);
        for (const double value : from.set)
            pass.varySet.push_back(std::abs(value) >= kResolvedWidths * lineWidth);
        for (const ShapeQuantity& quantity : layout_.quantities)
            pass.varyQuantity.push_back(!isWidth(quantity.kind));
        return pass;
    }

    bool residualsAt(const Pass& pass, const ModelValues& values, Eigen::VectorXd& residual, WorkTick tick = {})
    {
        PassFunctor functor(*curve_, pass, values, cancel_, parameterCount(pass));
        functor.setTick(std::move(tick));
        residual.resize(static_cast<Eigen::Index>(pass.size()));
        return functor.evaluate(PassFunctor::pack(values, pass), &residual, nullptr);
    }

    // Runs Levenberg-Marquardt on one pass from the current values. Returns
    // the attempt's end when it has to stop here.
    std::optional<Attempt> minimise(const Pass& pass, double tolerance, int maxEvaluations)
    {
        const int parameters = parameterCount(pass);
        if (parameters == 0 || static_cast<int>(pass.size()) <= parameters)
            return std::nullopt;
        PassFunctor functor(*curve_, pass, current_, cancel_, parameters);
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
            rms_ = lm.fnorm() / std::sqrt(static_cast<double>(pass.size()));
            smoothing_ = pass.smoothing;
            report(pass.smoothing > 0 ? FitPhase::Smoothed : FitPhase::Points, 0.0);
            if (auto runaway = geometry_.runAway(problem_, current_, attemptStart_, pass.smoothing > 0))
                return stopped(FitOutcome::RunAway, *runaway);
        }
        if (status == Eigen::LevenbergMarquardtSpace::UserAsked) {
            if (functor.stop() == Stop::SigmaZero)
                return stopped(FitOutcome::RunAway, std::string(messages::kFitSigmaThroughZero));
            if (functor.stop() == Stop::OutOfRange)
                return stopped(FitOutcome::Failed, std::string(messages::kFitIllPosed));
            return cancelled();
        }
        if (pass.smoothing == 0.0 && status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation)
            return notConverged(maxEvaluations);
        if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters)
            return stopped(FitOutcome::Failed, std::string(messages::kFitIllPosed));
        return std::nullopt;
    }

    FitResult finish(const Pass& raw)
    {
        report(FitPhase::Uncertainties, 0.0);
        const int n = static_cast<int>(raw.size());
        const int p = parameterCount(raw);
        PassFunctor functor(*curve_, raw, current_, cancel_, p);
        const Eigen::VectorXd x = PassFunctor::pack(current_, raw);
        Eigen::VectorXd residual(n);
        Eigen::MatrixXd jacobian(n, p);
        if (!functor.evaluate(x, &residual, &jacobian))
            return fail(stoppedBy(functor.stop()));
        result_.rmsAfter = rmsOf(residual);
        const double variance = residual.squaredNorm() / (n - p);

        return record(raw, covarianceOf(std::move(jacobian), variance));
    }

    // The end of a fit of averages: the last steps on every point, then the
    // uncertainties from the factor of their Jacobian.
    FitResult refineAndFinish()
    {
        const Pass all = passOn(points_);
        RefineWatch watch;
        watch.tick = ticker(FitPhase::AllPoints);
        watch.accepted = [&](const ModelValues& values, double rss) -> std::optional<std::string> {
            current_ = values;
            ++result_.iterations;
            rms_ = std::sqrt(rss / static_cast<double>(all.size()));
            report(FitPhase::AllPoints, 1.0);
            return geometry_.runAway(problem_, current_, attemptStart_);
        };
        Refined refined = refine(*curve_, all, current_, cancel_, kMostRefineSteps, kToleranceFinal, watch);
        if (!refined.runAway.empty())
            return fail(stopped(FitOutcome::RunAway, refined.runAway));
        if (refined.stop == Stop::SigmaZero)
            return fail(stopped(FitOutcome::RunAway, std::string(messages::kFitSigmaThroughZero)));
        if (refined.stop == Stop::OutOfRange)
            return fail(stopped(FitOutcome::Failed, std::string(messages::kFitIllPosed)));
        if (refined.end == RefineEnd::Stopped)
            return fail(cancelled());
        if (refined.end == RefineEnd::NotConverged)
            return fail(notConverged(kMostRefineSteps));
        report(FitPhase::Uncertainties, 0.0);
        const double n = static_cast<double>(all.size());
        result_.rmsAfter = std::sqrt(refined.factor.rss / n);
        const double variance = refined.factor.rss / (n - parameterCount(all));
        return record(all, covarianceOf(std::move(refined.factor.r), variance));
    }

    FitResult record(const Pass& pass, Covariance fitted)
    {
        recordFitted(problem_, layout_, *curve_, current_, pass, std::move(fitted), result_);
        Pass shown = pass;
        if (!traceOf(*curve_, shown, *points_, current_, cancel_, result_.trace))
            return fail(cancelled());
        return result_;
    }

    const FitProblem& problem_;
    const std::atomic<bool>& cancel_;
    const FitProgressCallback& progress_;
    Layout layout_;
    ModelBuilder builder_;
    Geometry geometry_;
    std::unique_ptr<Curve> curve_;
    std::shared_ptr<const Samples> points_; // every point in the frame
    std::shared_ptr<const Samples> fitted_; // those, or their averages
    double spacing_ = 0.0;
    double rms_ = 0.0;       // the last known, for progress
    double smoothing_ = 0.0; // of the pass in hand, for progress
    int attempt_ = 0;
    ModelValues start_;        // the user's values
    ModelValues attemptStart_; // where the attempt in hand started
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
