#pragma once

// The window's way from a selection to a change plan: the prompt (the
// credentials for Enter, the network dialog for one camera or a batch), the
// plan from search/change_planner.h with the link asked off the window's
// thread, and the plan dialog whenever more than one camera moves or
// anything is refused or warned about. What it returns is the plan the user
// accepted, to be handed to `ChangeWatch` (and the standard cameras' changes
// to a `StandardChangeBatch`) as it stands: nothing the window sends is
// assembled anywhere else.
//
// A standard camera (only WS-Discovery heard it, and it names a device
// service) is planned like the others and needs a typed user and password.
// The network dialog for one such camera shows what a read of it found: the
// credentials are asked first and the camera is read off the window's
// thread, unless the search's book holds a read made since the window last
// changed it. The credentials are never printed or logged.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "search/change_planner.h"
#include "search/device_update.h"
#include "search/standard_camera_session.h"
#include "search/temporary_address.h"

class QDialog;
class QWidget;

namespace quorvex {

class LanguageX;
class SearchBusiness;

class ChangeFlow {
public:
    using DialogRunner = std::function<int(QDialog&)>;
    // A link probe that takes longer than this shows its progress: short
    // enough that, with the plans made before the question (the prompt's own
    // check and the plan itself, some 25 ms each for 2,000 cameras), progress
    // and its Cancel are on screen within 100 ms of the prompt's OK.
    static constexpr int kBlinkMs = 20;

    // `search`, `language` and `parent` outlive the flow; `run` shows a
    // modal dialog and returns its result.
    ChangeFlow(SearchBusiness& search, LanguageX& language, QWidget* parent, DialogRunner run);

    // What a flow ends with besides the plan: a line for the status notice.
    struct Outcome {
        std::optional<ChangePlan> plan;  // accepted, with something to send
        QString notice;
        bool failure = false;
        // The addresses the PC took to reach cameras outside all its
        // subnets: held until the plan's standard changes are judged.
        std::shared_ptr<TemporaryAddresses> temporary;
    };

    // Enter: the selected cameras outside their interface's subnet move into
    // it, host numbers `match_min` to `match_max`. A selection the tool made,
    // so a camera in conflict is refused.
    Outcome Match(const std::vector<DeviceUpdate>& selected, int match_min, int match_max);
    // The network dialog: the typed settings for one camera, or consecutive
    // addresses from the typed start for several.
    Outcome NetConfig(const std::vector<DeviceUpdate>& selected);

    // Asks the link about all of `addresses` at once on a thread of its own;
    // the window keeps running, and past a blink a progress dialog offers
    // Cancel. After a Cancel the answer is empty and `Cancelled()` is true.
    // An address outside every subnet of `interfaces` (a temporary address
    // the PC may take) is asked by an ARP probe.
    std::set<std::uint32_t> AskLink(const std::vector<std::uint32_t>& addresses,
                                    const std::vector<LocalInterface>& interfaces);
    bool Cancelled() const { return cancelled_; }
    // The search's last read of `device` while the window has not changed
    // the camera since (its network values still stand); none otherwise.
    std::optional<StandardSnapshot> CurrentRead(const DeviceUpdate& device) const;

private:
    // Shows `plan` when it needs a look; true when it may be sent.
    bool Confirm(const ChangePlan& plan);
    ChangePlan Plan(const ChangeRequest& request, int match_min, int match_max);
    // Runs `work` on a thread of its own while the window keeps running;
    // past a blink a progress dialog saying `label` offers Cancel. Whatever
    // `work` does is let finish, bounded by its own timeouts.
    template <typename Work>
    auto OffThread(const QString& label, Work work) -> decltype(work());
    // The credentials and the read of one standard camera for the network
    // dialog: its settings overlaid on `device`, and what was typed (unset
    // when the book's read was used). False with `outcome` set when the user
    // cancelled or the read failed.
    struct Read {
        std::optional<Credentials> typed;
        bool ok = false;
    };
    Read ReadStandard(DeviceUpdate& device, Outcome& outcome);
    // `devices` with what a current read found of each standard camera, so
    // that the plan starts from the camera's values, not discovery's blanks.
    std::vector<DeviceUpdate> WithCurrentReads(std::vector<DeviceUpdate> devices) const;
    // The plan's standard cameras will differ from what was read of them.
    void NoteSent(const ChangePlan& plan);
    // The accepted plan's last step: the temporary addresses it needs, named
    // to the user and added off the window's thread. False with `outcome`
    // set when the user declined or they could not be added: then nothing
    // is sent.
    bool TakeTemporaryAddresses(const ChangePlan& plan, Outcome& outcome);
    // A standard camera the PC has no subnet in common with.
    bool OutsideEverySubnet(const DeviceUpdate& device) const;

    SearchBusiness& search_;
    LanguageX& language_;
    QWidget* parent_;
    DialogRunner run_;
    bool busy_ = false;  // one flow at a time: input still reaches the window meanwhile
    bool cancelled_ = false;
    // Endpoints of standard cameras changed since the flow last read them:
    // the book's read of them no longer stands.
    std::set<std::string> changed_;
};

}  // namespace quorvex
