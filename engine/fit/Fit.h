#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/Model.h"


// Least-squares fit of the simulation to the observed spectrum: every
// quantity of the model the Model window describes (coupling constants, line
// widths, species weights and shifts, m_I-dependent widths), the centre
// field, the scale and the baseline.
//
// The simulated curve is the one the plot shows: the model's sum evaluated at
// the observed fields themselves, divided by the peak-to-peak height of the
// sum on the display grid, times 2 and the scale, plus the baseline
// offset + slope (field - centre). Nothing here touches the program state: a
// fit works on its own copy and can run on any thread.
namespace ravelle {

enum class FitParameterKind {
    Hydrogen, // a main-window H box: a group of one 1H nucleus of species 1
    Nitrogen, // an N box: one 14N nucleus of species 1
    Sigma,    // a species' sigma; species 1's is the Sigma box
    Centre,   // GCntr
    Scale,    // Scl
    Gamma,    // a species' gamma
    Offset,   // the baseline's offset
    Slope,    // the baseline's slope, per gauss from the centre field
    Coupling, // a Model-window nucleus group's coupling
    Weight,   // a further species' weight (species 1's is the reference)
    Shift,    // a further species' shift from the centre field
    SigmaB,   // B and C of sigma + B m + C m^2
    SigmaC,
    GammaB,   // B and C of gamma + B m + C m^2
    GammaC,
};

// One parameter in play, named by the box or Model-window field that holds it.
struct FitParameter {
    FitParameterKind kind = FitParameterKind::Hydrogen;
    std::string box;   // "H1", "Sigma", "GCntr", "Scl", or a field: "Species 2, group 1, coupling"
    double value = 0.0;
    bool vary = true;
    // Where it acts in the problem's model: the species (0 for the first),
    // and for a coupling the group's index in that species' groups (-1: the
    // next box group of a problem without a model, in order).
    int species = 0;
    int group = -1;
};

struct FitProblem {
    // The observed points inside the frame, in the order of the file.
    std::vector<double> field;
    std::vector<double> intensity;
    double frameLow = 0.0;  // Edit1
    double frameHigh = 0.0; // Edit2
    double displayRange = 0.0;  // G: the display grid the curve is normalised on
    std::int32_t points = 0;    // NoPnts
    // The model at its starting values, with everything the parameters do not
    // name (isotopes, numbers of nuclei, line shapes, width groups). Without
    // species it is the document's: one Gaussian species of the H and N
    // parameters' nuclei, in their order, with the Sigma parameter's width.
    model::Model model;
    // What the fit may change, in the order the dialog lists it.
    std::vector<FitParameter> parameters;
    // Varied constants of one kind (one species, one isotope) that start from
    // the same value are one equivalent set: they move together and stay equal.
    bool keepEqualConstantsEqual = true;
    // GHz, when known: the fit then gives the g-value of the centre field.
    std::optional<double> frequencyGHz;
};

// What a fit is doing, in the order it does it. A spectrum of very many
// points is fitted on averages of neighbouring points first, then on all.
enum class FitPhase {
    Sorting,       // putting the observed points in field order
    Averaging,     // averaging neighbouring points
    Starting,      // comparing the starting curve with the points
    Searching,     // looking for the centre, line width, scale and baseline
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
    int species = 0; // as in FitParameter
    int group = -1;
};

// The observed points and the fitted curve, for a picture: every point of a
// spectrum of a few thousand, the extremes of each stretch of a longer one.
struct FitTrace {
    std::vector<double> field; // ascending
    std::vector<double> observed;
    std::vector<double> fitted;
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
    // The g-value of the fitted centre field and its standard uncertainty,
    // where the problem gives the microwave frequency.
    std::optional<double> gValue;
    double gUncertainty = 0.0;
    FitTrace trace; // of a converged fit
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
