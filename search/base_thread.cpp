#include "search/base_thread.h"

namespace quorvex {

BaseThread::~BaseThread() {
    Stop();
}

bool BaseThread::Start(Function, void*) {
    return false;
}

void BaseThread::Stop() {}

void BaseThread::ThreadMain() {}

}  // namespace quorvex
