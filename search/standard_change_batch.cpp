#include "search/standard_change_batch.h"

#include <algorithm>

namespace quorvex {

StandardChangeBatch::StandardChangeBatch(const ChangePlan& plan,
                                         StandardCameraSession::Options options,
                                         std::size_t workers, StandardCameraBook* book)
    : session_(options), book_(book) {
    // The plans are copied: the batch outlives whatever plan it was given.
    for (const CameraPlan* camera : plan.ToSendStandard()) {
        cameras_.push_back(*camera);
        keys_.push_back(PlanKey(camera->device));
    }
    states_ = std::make_unique<std::atomic<State>[]>(cameras_.size());
    for (std::size_t i = 0; i < cameras_.size(); ++i) states_[i] = State::waiting;
    outcomes_.resize(cameras_.size());
    const std::size_t count =
        std::min({std::clamp<std::size_t>(workers, 1, kMaxWorkers), cameras_.size()});
    for (std::size_t w = 0; w < count; ++w) workers_.emplace_back([this] { Work(); });
}

StandardChangeBatch::~StandardChangeBatch() {
    stopping_ = true;
    workers_.clear();  // joins: a change under way is followed to its end
}

void StandardChangeBatch::Work() {
    for (;;) {
        if (stopping_) return;
        const std::size_t i = next_++;
        if (i >= cameras_.size()) return;
        const CameraPlan& camera = cameras_[i];
        outcomes_[i] = ChangeStandardCamera(
            session_, camera.device, *camera.settings,
            [this, i](StandardChangeStage stage) {
                switch (stage) {
                    case StandardChangeStage::read:
                        states_[i] = State::reading;
                        break;
                    case StandardChangeStage::apply:
                        states_[i] = State::applying;
                        break;
                    case StandardChangeStage::confirm:
                        states_[i] = State::confirming;
                        break;
                }
            },
            book_);
        {
            // Published under the lock, so that whoever sees `done` (or
            // `finished_` complete) also sees the outcome written above.
            const std::lock_guard lock(done_mutex_);
            states_[i] = State::done;
            ++finished_;
        }
        done_.notify_all();
    }
}

StandardChangeBatch::State StandardChangeBatch::StateOf(std::size_t index) const {
    return index < cameras_.size() ? states_[index].load() : State::done;
}

bool StandardChangeBatch::Done() const {
    const std::lock_guard lock(done_mutex_);
    return finished_ == cameras_.size();
}

void StandardChangeBatch::Wait() {
    std::unique_lock lock(done_mutex_);
    done_.wait(lock, [this] { return finished_ == cameras_.size(); });
}

std::vector<StandardChangeOutcome> StandardChangeBatch::Outcomes() {
    Wait();
    const std::lock_guard lock(done_mutex_);
    return outcomes_;
}

}  // namespace quorvex
