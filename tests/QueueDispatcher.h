#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "components/TransferEvents.h"

namespace tvk::test {

// Stands in for the window's message loop: posted calls wait in a queue and
// run on the test thread while the test pumps.
class QueueDispatcher : public EventDispatcher {
    using Clock = std::chrono::steady_clock;

  public:
    void Post(std::function<void()> call) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(call));
        }
        posted_.notify_all();
    }
    // Runs posted calls until `done` holds; false when `bound` passed first.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        Clock::time_point deadline = Clock::now() + bound;
        while (!done()) {
            if (!RunOne(deadline)) return done();
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds time) {
        Clock::time_point deadline = Clock::now() + time;
        while (Clock::now() < deadline) RunOne(deadline);
    }
    // Runs what is queued now, without waiting for more.
    void PumpQueued() {
        for (size_t n = Queued(); n > 0; --n) RunOne(Clock::now());
    }
    size_t Queued() {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

  private:
    bool RunOne(Clock::time_point deadline) {
        std::function<void()> call;
        {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return false;
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace tvk::test
