#pragma once

// Follows the changes sent from the window until each camera is judged: its
// row is marked pending when the change goes out, then confirmed or not
// confirmed (with the reason) as the ChangeWatch judges it. The marks stay
// in the model, per camera, when the list is emptied. What the user is told
// when a set of changes goes out and when it is all judged comes as a
// `Notice`. The watches are polled by a timer that runs only while some
// change is being followed.
//
// A plan's standard cameras are changed by a `StandardChangeBatch` on worker
// threads of its own, never on the window's thread: the same timer shows
// where each stands on its row (reading, changing, confirming) and then its
// outcome. Destroying the follower while such a batch runs waits for the
// cameras already under way (a change that went out is never abandoned);
// the session's timeouts bound that wait, so closing the window ends.

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "search/change_watch.h"
#include "search/standard_change_batch.h"
#include "search/temporary_address.h"

class QTimer;

namespace quorvex {

class DeviceListModel;
class LanguageX;

class ChangeFollower : public QObject {
    Q_OBJECT

public:
    // How long a camera has, once its commands have left, to answer with the
    // settings it was sent before its change counts as not confirmed.
    static constexpr std::chrono::milliseconds kConfirmTime{15000};

    // `search`, `model` and `language` outlive the follower.
    ChangeFollower(SearchBusiness& search, DeviceListModel& model, const LanguageX& language,
                   QObject* parent);
    ~ChangeFollower() override;

    // Sends `changes`, marks their rows pending and follows them; `note` is
    // said again with the outcome.
    // `temporary`, when given, is held until the plan's standard changes are
    // judged, then let go (which removes the addresses it holds).
    void Start(const ChangePlan& plan, const QString& note = {},
               std::shared_ptr<TemporaryAddresses> temporary = {});
    // True while some change is not judged yet.
    bool Pending() const { return !watches_.empty(); }

signals:
    void Notice(const QString& text, bool failure);

private:
    void Poll();

    struct Watched {
        std::unique_ptr<ChangeWatch> watch;
        std::vector<bool> shown;  // the result is on the row
        QString note;
        // Declared before `standard`, so let go only after the batch has
        // waited for the changes under way.
        std::shared_ptr<TemporaryAddresses> temporary;
        std::unique_ptr<StandardChangeBatch> standard;  // null without standard cameras
        // What each standard camera's row shows now: no state yet, then its
        // stage; done once its outcome is on the row.
        std::vector<std::optional<StandardChangeBatch::State>> standard_shown;
    };
    // Puts the standard cameras' progress on their rows; true once all are judged.
    bool PollStandard(Watched& watched);

    SearchBusiness& search_;
    DeviceListModel& model_;
    const LanguageX& language_;
    std::vector<Watched> watches_;
    QTimer* timer_;
};

}  // namespace quorvex
