#include "io/BackgroundRelease.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace ravelle {

namespace {

// Buffers from this size on are worth a thread's trouble.
constexpr std::size_t kLargeBuffer = std::size_t{64} << 20;

class Releaser {
public:
    ~Releaser()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    void release(std::string&& buffer)
    {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(buffer));
            if (!thread_.joinable())
                thread_ = std::thread([this] { run(); });
        }
        wake_.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            std::string buffer = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            buffer = std::string(); // the freeing, outside the lock
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace

void releaseInBackground(std::string&& buffer)
{
    if (buffer.capacity() < kLargeBuffer) {
        std::string().swap(buffer);
        return;
    }
    static Releaser releaser;
    releaser.release(std::move(buffer));
}

} // namespace ravelle
