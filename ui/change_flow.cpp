#include "ui/change_flow.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <future>

#include "config/language_x.h"
#include "search/link_answers.h"
#include "search/neighbour_probe.h"
#include "search/plan_facts.h"
#include "search/search_business.h"
#include "search/standard_camera_session.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/plan_texts.h"
#include "ui/record_text.h"
#include "ui/standard_camera_view.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

std::size_t CountRefused(const ChangePlan& plan, PlanProblem problem) {
    return static_cast<std::size_t>(std::count_if(
        plan.cameras.begin(), plan.cameras.end(),
        [problem](const CameraPlan& c) { return !c.settings && c.refusal.problem == problem; }));
}

// Cameras changed through their device service that wait for a typed user
// and password.
std::size_t CountStandardNeeded(const ChangePlan& plan) {
    return static_cast<std::size_t>(
        std::count_if(plan.cameras.begin(), plan.cameras.end(), [](const CameraPlan& c) {
            return !c.settings && c.standard && c.refusal.problem == PlanProblem::password_needed;
        }));
}

bool IsStandard(const DeviceUpdate& device) {
    return !SearchBusiness::CanConfigure(device.entry) && HasDeviceService(device);
}

// Clears the flag it guards when the flow ends, however it ends.
struct Busy {
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    bool& flag_;
};

}  // namespace

ChangeFlow::ChangeFlow(SearchBusiness& search, LanguageX& language, QWidget* parent,
                       DialogRunner run)
    : search_(search), language_(language), parent_(parent), run_(std::move(run)) {}

ChangePlan ChangeFlow::Plan(const ChangeRequest& request, int match_min, int match_max) {
    cancelled_ = false;
    const SiteFacts facts = PlanFactsOf(search_, match_min, match_max);
    return PlanChange(request, facts, [this, &facts](const std::vector<std::uint32_t>& addresses) {
        return AskLink(addresses, facts.interfaces);
    });
}

template <typename Work>
auto ChangeFlow::OffThread(const QString& label, Work work) -> decltype(work()) {
    // The thread is born in this thread's network namespace.
    auto answer = std::async(std::launch::async, std::move(work));
    QProgressDialog progress(label, UiText(language_, IDS_PLAN_CANCEL), 0, 0, parent_);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kBlinkMs);
    progress.setValue(0);  // starts the blink: without a value the dialog waits its default 4 s
    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] { cancelled_ = true; });
    check.start();
    // After a Cancel the work is let finish, bounded by its own timeouts;
    // the caller decides what of its answer still stands.
    loop.exec();
    return answer.get();
}

std::set<std::uint32_t> ChangeFlow::AskLink(const std::vector<std::uint32_t>& addresses,
                                            const std::vector<LocalInterface>& interfaces) {
    // Each probe waits one patience in total.
    std::set<std::uint32_t> found = OffThread(
        UiText(language_, IDS_LINK_PROGRESS).arg(addresses.size()), [addresses, interfaces] {
            return AddressesInUse(addresses, interfaces, NeighbourProbe(), ArpProbe());
        });
    if (cancelled_) found.clear();
    return found;
}

std::optional<StandardSnapshot> ChangeFlow::CurrentRead(const DeviceUpdate& device) const {
    if (!device.wsd || changed_.count(std::string(GetText(device.wsd->endpoint))) != 0)
        return std::nullopt;
    return SnapshotOf(search_.StandardCameras(), device);
}

ChangeFlow::Read ChangeFlow::ReadStandard(DeviceUpdate& device, Outcome& outcome) {
    Read read;
    const std::string endpoint(GetText(device.wsd->endpoint));
    std::optional<StandardSnapshot> snapshot = CurrentRead(device);
    if (!snapshot) {
        DlgCredentials credentials(language_, parent_);
        credentials.SetUserNeeded(1);
        ChangeRequest request;
        request.devices = {device};
        request.standard_cameras = true;
        credentials.SetPlanner([&](const Credentials& given) {
            ChangeRequest typed = request;
            typed.credentials = given;
            return PlanChange(typed, PlanFactsOf(search_, 0, 0));
        });
        if (run_(credentials) != QDialog::Accepted) return read;
        read.typed = credentials.Given();
        const StandardCameraSession::Target target{std::string(GetText(device.wsd->xaddrs)),
                                                   device.wsd->source_address, endpoint,
                                                   search_.StandardCameras().AuthOf(endpoint)};
        const StandardCredentials given{read.typed->user.value_or(std::string()),
                                        read.typed->password.value_or(std::string())};
        cancelled_ = false;
        // The session's timeouts bound the read; the window runs meanwhile.
        const StandardCameraSession::ReadResult result = OffThread(
            UiText(language_, IDS_STANDARD_READ_PROGRESS).arg(DeviceNameText(device.entry.info)),
            [target, given] { return StandardCameraSession().Read(target, given); });
        if (result.snapshot) search_.StandardCameras().Remember(*result.snapshot);
        if (cancelled_) return read;
        if (!result.snapshot) {
            outcome.notice = UiText(language_, IDS_STANDARD_READ_FAILED)
                                 .arg(DeviceNameText(device.entry.info),
                                      StandardFailureUiText(language_, result.failure));
            outcome.failure = true;
            return read;
        }
        snapshot = result.snapshot;
        changed_.erase(endpoint);
    }
    device.entry.info = InfoWithSnapshot(device.entry.info, *snapshot);
    read.ok = true;
    return read;
}

std::vector<DeviceUpdate> ChangeFlow::WithCurrentReads(std::vector<DeviceUpdate> devices) const {
    for (DeviceUpdate& device : devices) {
        if (!IsStandard(device)) continue;
        if (const std::optional<StandardSnapshot> read = CurrentRead(device))
            device.entry.info = InfoWithSnapshot(device.entry.info, *read);
    }
    return devices;
}

void ChangeFlow::NoteSent(const ChangePlan& plan) {
    for (const CameraPlan* camera : plan.ToSendStandard())
        if (camera->device.wsd) changed_.insert(std::string(GetText(camera->device.wsd->endpoint)));
}

bool ChangeFlow::OutsideEverySubnet(const DeviceUpdate& device) const {
    // Such a camera cannot be read before its change: the change reads it
    // through the temporary address, once the user has agreed to it.
    ChangeRequest request;
    request.devices = {device};
    request.standard_cameras = true;
    const ChangePlan plan = PlanChange(request, PlanFactsOf(search_, 0, 0));
    return plan.cameras.front().refusal.problem == PlanProblem::needs_temporary_address;
}

bool ChangeFlow::TakeTemporaryAddresses(const ChangePlan& plan, Outcome& outcome) {
    const std::vector<TemporaryAddressPlan> wanted = plan.TemporaryAddresses();
    if (wanted.empty()) return true;
    QStringList where;
    for (const TemporaryAddressPlan& address : wanted) where << TemporaryUiText(language_, address);
    const auto reached =
        std::count_if(plan.cameras.begin(), plan.cameras.end(),
                      [](const CameraPlan& c) { return c.settings && c.temporary; });
    QMessageBox question(QMessageBox::Question, UiText(language_, IDS_TEMPORARY_TITLE),
                         UiText(language_, IDS_TEMPORARY_QUESTION)
                             .arg(reached)
                             .arg(where.join(QStringLiteral(", "))),
                         QMessageBox::Yes | QMessageBox::No, parent_);
    question.setDefaultButton(QMessageBox::No);
    if (run_(question) != QMessageBox::Yes) return false;
    cancelled_ = false;
    // The link is asked once more right before each address is added.
    auto added = OffThread(UiText(language_, IDS_TEMPORARY_PROGRESS), [wanted] {
        std::string error;
        std::optional<TemporaryAddresses> held = TemporaryAddresses::Add(wanted, error);
        return std::pair{std::move(held), error};
    });
    if (!added.first) {
        outcome.notice =
            UiText(language_, IDS_TEMPORARY_FAILED).arg(QString::fromStdString(added.second));
        outcome.failure = true;
        return false;
    }
    // A Cancel while they were added: they go again with the holder.
    if (cancelled_) return false;
    outcome.temporary = std::make_shared<TemporaryAddresses>(std::move(*added.first));
    return true;
}

bool ChangeFlow::Confirm(const ChangePlan& plan) {
    if (plan.Planned() <= 1 && plan.Refused() == 0 && plan.Clean()) return plan.Planned() == 1;
    DlgChangePlan shown(language_, plan, parent_);
    return run_(shown) == QDialog::Accepted && plan.Planned() > 0;
}

ChangeFlow::Outcome ChangeFlow::Match(const std::vector<DeviceUpdate>& selected, int match_min,
                                      int match_max) {
    if (busy_ || selected.empty()) return {};
    const Busy busy(busy_);
    ChangeRequest request;
    request.kind = ChangeKind::match;
    request.devices = WithCurrentReads(selected);
    request.standard_cameras = true;
    // A camera outside every subnet is reached through an address the PC
    // takes, which the user is asked for before anything is sent.
    request.temporary_address = true;
    // Who moves and who needs a password typed, before anything is asked.
    const ChangePlan first =
        PlanChange(request, PlanFactsOf(search_, match_min, match_max), LinkProbe{});
    const std::size_t needed = CountRefused(first, PlanProblem::password_needed);
    const std::size_t standard_needed = CountStandardNeeded(first);
    if (first.Planned() + needed == 0) {
        const std::size_t read_only = CountRefused(first, PlanProblem::not_configurable);
        const std::size_t inside = CountRefused(first, PlanProblem::already_inside);
        if (read_only + inside == first.cameras.size())
            return {{},
                    UiText(language_, read_only > 0 ? IDS_WSD_READ_ONLY : IDS_MATCH_NOTHING),
                    read_only > 0,
                    {}};
        Confirm(first);  // says why none moves
        return {};
    }
    // One prompt for the whole selection: a text camera's answer carries no
    // password, and a standard camera's device service wants a user and a
    // password discovery never tells, so only the user can give them.
    DlgCredentials credentials(language_, parent_);
    credentials.SetPasswordNeeded(static_cast<int>(needed - standard_needed));
    credentials.SetUserNeeded(static_cast<int>(standard_needed));
    credentials.SetPlanner([&](const Credentials& given) {
        ChangeRequest typed = request;
        typed.credentials = given;
        return PlanChange(typed, PlanFactsOf(search_, match_min, match_max));
    });
    if (run_(credentials) != QDialog::Accepted) return {};
    request.credentials = credentials.Given();
    // One plan for the whole selection, so that no address goes to two
    // cameras and the cameras past the last free address stay where they are.
    ChangePlan plan = Plan(request, match_min, match_max);
    if (cancelled_ || !Confirm(plan)) return {};
    Outcome outcome;
    if (!TakeTemporaryAddresses(plan, outcome)) return outcome;
    if (const std::size_t unplaced = CountRefused(plan, PlanProblem::no_free_address)) {
        outcome.notice =
            UiText(language_, IDS_MATCH_UNPLACED).arg(unplaced).arg(match_min).arg(match_max);
        outcome.failure = true;
    }
    NoteSent(plan);
    outcome.plan = std::move(plan);
    return outcome;
}

ChangeFlow::Outcome ChangeFlow::NetConfig(const std::vector<DeviceUpdate>& selected) {
    if (busy_ || selected.empty()) return {};
    const Busy busy(busy_);
    // Only when none of them can be changed: in a batch the plan names each
    // camera left alone, and why.
    if (std::none_of(selected.begin(), selected.end(), [](const DeviceUpdate& device) {
            return SearchBusiness::CanConfigure(device.entry) || IsStandard(device);
        }))
        return {{}, UiText(language_, IDS_WSD_READ_ONLY), true, {}};
    std::vector<DeviceUpdate> devices = WithCurrentReads(selected);
    Read read;
    if (devices.size() == 1 && IsStandard(devices.front()) &&
        !OutsideEverySubnet(devices.front())) {
        Outcome refused;
        read = ReadStandard(devices.front(), refused);
        if (!read.ok) return refused;
    }
    DlgNetInformation dialog(language_, parent_);
    dialog.SetDevice(devices.front().entry);
    // Typed once: the read's credentials are the change's.
    if (read.typed) dialog.SetCredentials(*read.typed);
    if (devices.size() > 1) dialog.SetBatch(static_cast<int>(devices.size()));
    dialog.SetPlanner(
        [this, &devices](const ChangeRequest& typed, bool ask_link) -> std::optional<ChangePlan> {
            ChangeRequest request = typed;
            request.devices = devices;
            request.standard_cameras = true;
            request.temporary_address = true;
            // One camera opened by name may be changed although it is in
            // conflict, after a warning in the plan.
            request.named = devices.size() == 1;
            if (!ask_link) return PlanChange(request, PlanFactsOf(search_, 0, 0));
            ChangePlan plan = Plan(request, 0, 0);
            if (cancelled_) return std::nullopt;
            return plan;
        });
    // What the dialog accepted is what is sent: it is not planned again.
    if (run_(dialog) != QDialog::Accepted || !dialog.AcceptedPlan()) return {};
    const NetSettings& typed = dialog.Settings();
    ChangePlan plan = *dialog.AcceptedPlan();
    if (!Confirm(plan)) return {};
    Outcome outcome;
    if (!TakeTemporaryAddresses(plan, outcome)) return outcome;
    if (const std::size_t unplaced = CountRefused(plan, PlanProblem::no_free_address)) {
        outcome.notice = UiText(language_, IDS_BATCH_UNPLACED)
                             .arg(unplaced)
                             .arg(QString::fromStdString(std::string(GetText(typed.ip))));
        outcome.failure = true;
    }
    NoteSent(plan);
    outcome.plan = std::move(plan);
    return outcome;
}

}  // namespace quorvex
