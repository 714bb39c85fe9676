#pragma once

// The window's way from a selection to a change plan: the prompt (the
// credentials for Enter, the network dialog for one camera or a batch), the
// plan from search/change_planner.h with the link asked off the window's
// thread, and the plan dialog whenever more than one camera moves or
// anything is refused or warned about. What it returns is the plan the user
// accepted, to be handed to `ChangeWatch` as it stands: nothing the window
// sends is assembled anywhere else.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "search/change_planner.h"
#include "search/device_update.h"

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
    std::set<std::uint32_t> AskLink(const std::vector<std::uint32_t>& addresses);
    bool Cancelled() const { return cancelled_; }

private:
    // Shows `plan` when it needs a look; true when it may be sent.
    bool Confirm(const ChangePlan& plan);
    ChangePlan Plan(const ChangeRequest& request, int match_min, int match_max);

    SearchBusiness& search_;
    LanguageX& language_;
    QWidget* parent_;
    DialogRunner run_;
    bool busy_ = false;  // one flow at a time: input still reaches the window meanwhile
    bool cancelled_ = false;
};

}  // namespace quorvex
