#include "cli/interrupt_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstring>

namespace quorvex {

namespace {

sigset_t Watched() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "SIGHUP";
    }
}

}  // namespace

InterruptWatch::InterruptWatch(std::string command) : command_(std::move(command)) {
    const sigset_t watched = Watched();
    pthread_sigmask(SIG_BLOCK, &watched, &previous_);
    signals_ = ::signalfd(-1, &watched, SFD_CLOEXEC);
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    // Without either descriptor the signals keep their default action: the
    // tool still ends on them, only without its cleanup.
    if (signals_ < 0 || stop_ < 0) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        return;
    }
    watcher_ = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
    if (watcher_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stop_, &one, sizeof one);
        watcher_.join();
    }
    if (signals_ >= 0) ::close(signals_);
    if (stop_ >= 0) ::close(stop_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::OnInterrupt(std::function<void()> cleanup) {
    std::lock_guard lock(mutex_);
    cleanup_ = std::move(cleanup);
}

void InterruptWatch::Watch() {
    for (;;) {
        pollfd fds[2] = {{signals_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        signalfd_siginfo info{};
        if (::read(signals_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        const int signal = static_cast<int>(info.ssi_signo);
        // Held to the end: the owner cannot clear the cleanup and free what
        // it undoes while it runs.
        std::lock_guard lock(mutex_);
        if (cleanup_) cleanup_();
        const std::string line = "quorvex-cli: " + command_ + ": stopped by " + SignalName(signal) +
                                 "; nothing further sent\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        ::_exit(128 + signal);
    }
}

}  // namespace quorvex
