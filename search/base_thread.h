#pragma once

// Runs one function on a thread of its own. The function runs while
// `running()` holds; `Stop` clears it and joins.

#include <atomic>
#include <memory>
#include <thread>

namespace quorvex {

class BaseThread {
public:
    using Function = int (*)(void* argument);

    BaseThread() = default;
    BaseThread(const BaseThread&) = delete;
    BaseThread& operator=(const BaseThread&) = delete;
    // As `Stop`.
    virtual ~BaseThread();

    // Starts a thread that runs `function(argument)`, or `Run` when `function`
    // is null. False when a thread is already running; a thread whose function
    // has returned is joined first.
    bool Start(Function function, void* argument);
    // Clears `running` without waiting, so that the loop ends at its next
    // check; `Stop` still has to join.
    void RequestStop() { running_.store(false); }
    // Clears `running` and joins the thread. Harmless without a thread. Must
    // not be called from the thread itself.
    void Stop();

    // Set from `Start` until `Stop` or until the function returns.
    bool running() const { return running_.load(); }

protected:
    virtual unsigned Run() { return 0; }

private:
    void ThreadMain();

    Function function_ = nullptr;
    void* argument_ = nullptr;
    std::atomic<bool> running_{false};
    std::unique_ptr<std::thread> thread_;
};

}  // namespace quorvex
