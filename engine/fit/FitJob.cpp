#include "engine/fit/Fit.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Messages.h"
#include "engine/fit/Layout.h"

namespace ravelle {

struct FitJob::Shared {
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::optional<FitProgress> progress; // the latest, not yet taken
    std::optional<FitResult> result;
    bool ended = false;
};

namespace {

std::atomic<int> runningThreads{0};

// Every fit thread of the process. A thread whose fit has ended is joined
// when the next one starts (it is returning by then); the rest are cancelled
// and joined when the process ends, so that none outlives the program.
class FitThreads {
public:
    static FitThreads& instance()
    {
        static FitThreads threads;
        return threads;
    }

    void add(std::thread thread, std::shared_ptr<FitJob::Shared> shared)
    {
        const std::lock_guard lock(mutex_);
        const auto ended = std::partition(threads_.begin(), threads_.end(), [](const Entry& entry) {
            const std::lock_guard stateLock(entry.shared->mutex);
            return !entry.shared->ended;
        });
        for (auto it = ended; it != threads_.end(); ++it)
            it->thread.join();
        threads_.erase(ended, threads_.end());
        threads_.push_back({std::move(thread), std::move(shared)});
    }

    ~FitThreads()
    {
        const std::lock_guard lock(mutex_);
        for (Entry& entry : threads_)
            entry.shared->cancel = true;
        for (Entry& entry : threads_)
            entry.thread.join();
    }

private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<FitJob::Shared> shared;
    };
    std::mutex mutex_;
    std::vector<Entry> threads_;
};

void handIn(FitJob::Shared& shared, FitResult result)
{
    const std::lock_guard lock(shared.mutex);
    shared.result = std::move(result);
    shared.ended = true;
}

void runJob(const std::shared_ptr<FitJob::Shared>& shared, std::shared_ptr<const FitProblem> problem,
            FitJob::FitFunction fit)
{
    FitResult result = fit(*problem, shared->cancel, [&shared](const FitProgress& progress) {
        const std::lock_guard lock(shared->mutex);
        shared->progress = progress;
    });
    // A dialog that has gone leaves the problem to this thread: free it
    // before saying so, so that joining an ended thread never waits.
    problem.reset();
    fit = nullptr;
    handIn(*shared, std::move(result));
    --runningThreads;
}

} // namespace

FitJob::FitJob(std::shared_ptr<const FitProblem> problem, FitFunction fit) : shared_(std::make_shared<Shared>())
{
    FitThreads& threads = FitThreads::instance(); // made before the thread, so it outlives it
    FitResult refused;
    refused.message = messages::kFitNoThread;
    refused.values = ravelle::fit::startingValues(*problem);
    ++runningThreads;
    try {
        threads.add(std::thread(runJob, shared_, std::move(problem), std::move(fit)), shared_);
    } catch (const std::system_error&) {
        // No thread to be had: the fit ends at once and says why.
        --runningThreads;
        handIn(*shared_, std::move(refused));
    }
}

FitJob::~FitJob() { cancel(); }

void FitJob::cancel() { shared_->cancel = true; }

std::optional<FitProgress> FitJob::takeProgress()
{
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->progress, std::nullopt);
}

std::optional<FitResult> FitJob::takeResult()
{
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->result, std::nullopt);
}

int FitJob::running() { return runningThreads.load(); }

} // namespace ravelle
