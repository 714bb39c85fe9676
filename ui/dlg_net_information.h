#pragma once

// The network configuration dialog: edits one camera's addressing, HTTP port
// and the credentials the change is sent with, or the values a batch of
// cameras shares. It sends nothing and decides nothing itself.
//
// Every address field holds exactly what was typed. The dialog only reads
// input: under each field it says why what the field holds is no value (a
// refused character, blank, incomplete, an octet above 255, a malformed
// address, a mask with gaps, a port outside 1..65535). Whether the values
// may go to the camera is the change planner's to say: the dialog hands
// them to the planner it is given as a `ChangeRequest` (without asking the
// link while they are typed, with the link on OK) and shows each refusal of
// the plan under the field it names, in the pack's words. OK closes the
// dialog only with a plan that refuses no field; that plan is the one sent.
// Gateway and DNS may stay blank: not asked for. The layout sizes itself to
// its texts, so no pack and no scale clips a label.
//
// For a batch the address field is the start address of the plan (which
// skips addresses others hold), blank credentials mean each camera's own,
// and DHCP may be switched on for every camera of it.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "core/device_records.h"
#include "search/change_planner.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvex {

class IpAddressEdit;
class LanguageX;

class DlgNetInformation : public QDialog {
    Q_OBJECT

public:
    // Longest user name or password, in bytes: the record field less its
    // terminator.
    static constexpr int kMaxCredentialBytes = static_cast<int>(sizeof(NetSettings::user)) - 1;

    explicit DlgNetInformation(LanguageX& language, QWidget* parent = nullptr);
    ~DlgNetInformation() override;

    // The device edited; set before the dialog opens.
    void SetDevice(const DeviceEntry& entry) { entry_ = entry; }
    const DeviceEntry& Device() const { return entry_; }
    // The user and password already typed for this change (to read the
    // camera): the fields start with them. Set before the dialog opens.
    void SetCredentials(const Credentials& given) { credentials_ = given; }
    // Plans `request` (the kind and the values typed: the planner adds the
    // selection). `ask_link` is false while the user types, true on OK;
    // none when the user cancelled asking the link, and the dialog stays
    // open. Without a planner only the input is read.
    using Planner =
        std::function<std::optional<ChangePlan>(const ChangeRequest& request, bool ask_link)>;
    void SetPlanner(Planner planner) { planner_ = std::move(planner); }
    // Edits the shared settings of `cameras` cameras (more than one); set
    // before the dialog opens.
    void SetBatch(int cameras) { batch_ = cameras; }
    bool IsBatch() const { return batch_ > 1; }
    // What the fields ask for now: unread and blank values are not asked
    // for, nor are blank credentials (the camera's own then count).
    ChangeRequest Request() const;
    // The values as typed, complete after an OK result; zero-filled before.
    const NetSettings& Settings() const { return settings_; }
    // The plan OK accepted, made with the link asked; none before an OK
    // result and without a planner.
    const std::optional<ChangePlan>& AcceptedPlan() const { return accepted_; }

    // Reads every field and plans without the link, shows why each refused
    // one is refused and returns true when none is.
    bool Validate();
    // The reason shown under field `control_id` (an address or the port);
    // empty when it is accepted.
    QString ProblemText(int control_id) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void OnDhcpToggled();
    void OnOk();
    // One text per problem label: address fields, port, user, password.
    using Problems = std::array<QString, 8>;
    // The reason for one field, or empty; `final` also reports blank and
    // incomplete values, which are not errors while they are being typed.
    QString AddressProblem(std::size_t index, bool final) const;
    QString PortProblem() const;
    // The input's problems; `complete` false when any field reads as no value.
    Problems InputProblems(bool final, bool& complete) const;
    // Adds the refusals of `plan` under the fields they name; a password only
    // the user can give is asked for once `final`.
    void AddPlanProblems(const ChangePlan& plan, bool final, Problems& problems) const;
    // Shows `problems`; true when there are none. `focus` moves the focus to
    // the first refused field.
    bool ShowProblems(const Problems& problems, bool focus);
    // Reads the input and, when it is complete, plans without the link.
    bool ShowProblems(bool final, bool focus = false);

    LanguageX& language_;
    DeviceEntry entry_{};
    NetSettings settings_{};

    QCheckBox* dhcp_ = nullptr;
    std::array<IpAddressEdit*, 5> addresses_{};  // ip, mask, gateway, dns1, dns2
    // Under each address, then the port, the user and the password.
    std::array<QLabel*, 8> problems_{};
    QLabel* ip_label_ = nullptr;
    QLabel* batch_note_ = nullptr;
    Planner planner_;
    std::optional<Credentials> credentials_;
    std::optional<ChangePlan> accepted_;
    int batch_ = 0;
    QLineEdit* http_port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool initialised_ = false;
    // Once OK was pressed, what it found missing stays shown while the user
    // edits (a focus change would otherwise hide it again).
    bool ok_pressed_ = false;
};

}  // namespace quorvex
