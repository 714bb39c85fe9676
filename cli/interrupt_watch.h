#pragma once

// Ctrl+C, SIGTERM and SIGHUP during `set` and `match`: the temporary
// addresses of a change must go before the tool does, and a plain handler
// could not remove them (rtnetlink, locks and allocation are no
// async-signal-safe work). So the three signals are blocked before any
// thread starts, which every later thread inherits, and one thread of this
// object reads them from a signalfd: it runs the cleanup given, writes one
// line on standard error and ends the process with 128 + the signal's number
// (130, 143, 129), without unwinding the threads still at work.

#include <signal.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quorvex {

class InterruptWatch {
public:
    // Blocks the signals in the calling thread; create it before any thread
    // of the job starts. `command` names the job in the line on stderr.
    explicit InterruptWatch(std::string command);
    // Stops watching and puts the calling thread's signal mask back.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // What to undo before the tool ends on a signal; empty: nothing. Set
    // and cleared by the owner of what it undoes, which must clear it before
    // that goes away.
    void OnInterrupt(std::function<void()> cleanup);

private:
    void Watch();

    std::string command_;
    sigset_t previous_{};
    int signals_ = -1;  // signalfd
    int stop_ = -1;     // eventfd that ends the watch
    std::mutex mutex_;
    std::function<void()> cleanup_;
    std::thread watcher_;
};

}  // namespace quorvex
