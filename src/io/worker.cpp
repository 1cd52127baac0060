#include "io/worker.h"

#include <system_error>
#include <algorithm>
#include <utility>

namespace rowsmith {

Worker::~Worker() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Worker::Start(std::function<void()> job) {
    Wait();
    if (!alone_ && !thread_.joinable()) {
        try {
            thread_ = std::thread(&Worker::Loop, this);
        } catch (const std::system_error&) {
            alone_ = true;
        }
    }
    if (alone_) {
        job();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
    }
    changed_.notify_all();
}

void Worker::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
}

void Worker::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return job_ || quit_; });
        if (!job_) return;
        lock.unlock();
        job_();
        lock.lock();
        job_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace rowsmith
