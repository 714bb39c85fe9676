#include "search/base_thread.h"

namespace quorvex {

BaseThread::~BaseThread() {
    Stop();
}

bool BaseThread::Start(Function function, void* argument) {
    if (thread_ && running_.load()) return false;
    if (thread_) {
        // The previous function has returned; reap its thread first.
        running_.store(false);
        thread_->join();
        thread_.reset();
    }
    running_.store(true);
    function_ = function;
    argument_ = argument;
    thread_ = std::make_unique<std::thread>([this] { ThreadMain(); });
    return true;
}

void BaseThread::Stop() {
    if (thread_) {
        running_.store(false);
        thread_->join();
        thread_.reset();
    }
    running_.store(false);
    function_ = nullptr;
    argument_ = nullptr;
}

void BaseThread::ThreadMain() {
    if (function_ != nullptr) {
        function_(argument_);
    } else {
        Run();
    }
    // `function_` and `argument_` are left for the owner's thread to clear:
    // only `Start` and `Stop` write them, and both join this thread first.
    running_.store(false);
}

}  // namespace quorvex
