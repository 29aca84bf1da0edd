#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


// Least-squares fit of the simulation to the observed spectrum: the coupling
// constants, the line width, the centre field and the scale that make the
// simulated trace reproduce the observed points inside the frame.
//
// The simulated curve is the one the plot shows: the sum of Gaussian
// derivatives evaluated at the observed fields themselves, divided by the
// peak-to-peak height of the sum on the display grid, times 2 and the scale.
// Nothing here touches the program state: a fit works on its own copy and
// can run on any thread.
namespace ravelle {

enum class FitParameterKind { Hydrogen, Nitrogen, Sigma, Centre, Scale };

// One parameter in play, named by the box that holds it.
struct FitParameter {
    FitParameterKind kind = FitParameterKind::Hydrogen;
    std::string box;   // "H1" ... "H15", "N1" ... "N6", "Sigma", "GCntr", "Scl"
    double value = 0.0;
    bool vary = true;
};

struct FitProblem {
    // The observed points inside the frame, in the order of the file.
    std::vector<double> field;
    std::vector<double> intensity;
    double frameLow = 0.0;  // Edit1
    double frameHigh = 0.0; // Edit2
    double displayRange = 0.0;  // G: the display grid the curve is normalised on
    std::int32_t points = 0;    // NoPnts
    // The coupling constants of the two chains in box order, then Sigma,
    // GCntr and Scl.
    std::vector<FitParameter> parameters;
    // Varied constants of one kind that start from the same value are one
    // equivalent set: they move together and stay equal.
    bool keepEqualConstantsEqual = true;
};

// What a fit is doing, in the order it does it. A spectrum of very many
// points is fitted on averages of neighbouring points first, then on all.
enum class FitPhase {
    Sorting,       // putting the observed points in field order
    Averaging,     // averaging neighbouring points
    Starting,      // comparing the starting curve with the points
    Smoothed,      // a pass on the points smoothed over `smoothing` gauss
    Points,        // a pass on the points, or on their averages
    AllPoints,     // the last steps, on every point
    Uncertainties, // working out the uncertainties
};

struct FitProgress {
    FitPhase phase = FitPhase::Points;
    int iteration = 0;        // accepted steps so far, over all passes and starts
    int start = 1;            // 1 for the user's values, then the scattered starts
    double smoothing = 0.0;   // gauss; 0 in the passes on the points
    double rms = 0.0;         // root-mean-square residual of this pass; 0 while not known
    double done = 0.0;        // share of the present piece of work done, 0 to 1
};

enum class FitOutcome { Converged, NotConverged, RunAway, TooFewPoints, Cancelled, Failed };

struct FittedValue {
    std::string box;
    FitParameterKind kind = FitParameterKind::Hydrogen;
    bool varied = false;
    double start = 0.0;
    double value = 0.0;
    // Standard uncertainty from s^2 (J^T J)^-1 with s^2 = RSS / (n - p);
    // infinite when the data do not determine the parameter; 0 when fixed.
    double uncertainty = 0.0;
};

struct FitResult {
    FitOutcome outcome = FitOutcome::Failed;
    std::string message; // what went wrong, or a remark on a converged fit
    std::vector<FittedValue> values; // one per problem parameter, same order
    double rmsBefore = 0.0;
    double rmsAfter = 0.0;
    int iterations = 0;
    int pointCount = 0;     // observed points inside the frame
    int parameterCount = 0; // free parameters of the fit
    bool converged() const { return outcome == FitOutcome::Converged; }
};

using FitProgressCallback = std::function<void(const FitProgress&)>;

// Runs the fit. `cancel` is polled between iterations and inside every
// evaluation, so a request ends the fit within milliseconds with
// FitOutcome::Cancelled. `progress` is called on the calling thread when a
// phase begins, after every accepted step, and every so many points of a
// long piece of work. Never throws.
FitResult runFit(const FitProblem& problem, const std::atomic<bool>& cancel,
                 const FitProgressCallback& progress = {});

// The simulated curve as the plot shows it, at the given absolute fields, for
// the parameter values of `problem` (tests and diagnostics).
std::vector<double> displayedCurve(const FitProblem& problem, const std::vector<double>& fields);

// A fit on a thread of its own, watched by polling. The thread touches only
// the problem it was given and a state it shares with the job, so the job may
// be dropped at any moment without waiting: a running fit is asked to stop
// and ends on its own, and a report that comes late finds nobody to disturb.
class FitJob {
public:
    using FitFunction =
        std::function<FitResult(const FitProblem&, const std::atomic<bool>&, const FitProgressCallback&)>;

    // Starts `fit` (runFit unless a test gives another) on the problem. The
    // problem must not change until the result has been taken.
    explicit FitJob(std::shared_ptr<const FitProblem> problem, FitFunction fit = runFit);
    // Asks a running fit to stop; never waits for it.
    ~FitJob();
    FitJob(const FitJob&) = delete;
    FitJob& operator=(const FitJob&) = delete;

    void cancel();
    // The latest progress report, once: nothing when none came since the last call.
    std::optional<FitProgress> takeProgress();
    // The result once the fit has ended, once: nothing before and after.
    std::optional<FitResult> takeResult();

    // Fit threads of this process that have not ended yet. The process waits
    // for them (cancelled) when it ends.
    static int running();

    // What the thread shares with the job: the cancel flag, the latest
    // progress and the result.
    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

} // namespace ravelle
