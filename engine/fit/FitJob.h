#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "engine/fit/Fit.h"

// A fit on a thread of its own, watched by polling. The thread touches only
// the problem it was given and a state it shares with the job, so the job may
// be dropped at any moment without waiting: a running fit is asked to stop
// and ends on its own, and a report that comes late finds nobody to disturb.
namespace ravelle {

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
