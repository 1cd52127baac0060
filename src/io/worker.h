#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace rowsmith {

// The cores this process may run on (at least 1).
unsigned UsableCores();

// One thread that does its owner's jobs one at a time, for as long as the
// owner lives: a run reads ahead and writes behind on threads of its own
// without starting one for every block. The thread starts with the first
// job; where none can be started, every job runs on the caller's thread,
// at once.
class Worker {
public:
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker();

    // Hands job over, after the one before it has ended.
    void Start(std::function<void()> job);
    // Waits until the job handed over last has ended.
    void Wait();

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;  // the job to do or being done; empty when idle
    bool quit_ = false;
    bool alone_ = false;  // no thread could be started
    std::thread thread_;
};

}  // namespace rowsmith
