#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ui/SpinButton.h"

namespace ravelle::testing {

// Simulated milliseconds: a stepper's timer falls due on this clock only,
// and a handler may move it on to stand for a slow step.
struct FakeClock {
    long now = 0;
    std::optional<long> due;
    std::function<void()> onTimeout;
    std::vector<int> requests; // the delay of every start, in order

    void advanceTo(long time)
    {
        while (due && *due <= time) {
            now = std::max(now, *due);
            due.reset();
            std::exchange(onTimeout, nullptr)();
        }
        now = std::max(now, time);
    }
};

// A stepper's repeat timer on a FakeClock, which must outlive it.
class FakeClockTimer : public RepeatTimer {
public:
    explicit FakeClockTimer(FakeClock& clock) : clock_(clock) {}
    void start(int milliseconds, std::function<void()> onTimeout) override
    {
        clock_.requests.push_back(milliseconds);
        clock_.due = clock_.now + milliseconds;
        clock_.onTimeout = std::move(onTimeout);
    }
    void stop() override
    {
        clock_.due.reset();
        clock_.onTimeout = nullptr;
    }

private:
    FakeClock& clock_;
};

} // namespace ravelle::testing
