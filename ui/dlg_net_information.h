#pragma once

// The network configuration dialog: edits one device's addressing, HTTP port
// and the credentials the change is sent with, and fills a NetSettings on OK.
// It sends nothing itself.
//
// Every address field holds exactly what was typed. OK accepts only values
// that can go out as they stand: with DHCP off the address must pass the
// address check of search/ (given the facts of the camera's link: not the
// PC's, the gateway's or another camera's; an address the camera keeps is
// its own), the mask must be contiguous and the gateway, when given, must lie
// in the subnet; gateway and DNS may stay blank and then go out empty, never
// as 0.0.0.0; the HTTP port is 1..65535; user and password must be values the
// device's protocol can carry. Each refused value says why right under its
// field, in the pack's words, and the dialog stays open. The layout sizes
// itself to its texts, so no pack and no scale clips a label.
//
// For a batch the address field is the start address of the plan (which
// skips addresses others hold, so only what no camera of that subnet could
// hold is refused here), DHCP is off, and blank credentials mean each
// camera's own.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "core/device_records.h"
#include "search/address_check.h"
#include "search/credentials.h"

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
    // What is known about the camera's link; without it only the address's
    // own form and subnet are checked.
    void SetAddressFacts(AddressFacts facts) { facts_ = std::move(facts); }
    // Asks the link whether another host answers for an address (network
    // byte order). OK asks it about a new address once every field is
    // accepted; an answered address is refused like the others.
    using LinkAsk = std::function<bool(std::uint32_t address)>;
    void SetLinkAsk(LinkAsk ask) { link_ask_ = std::move(ask); }
    // Edits the shared settings of `cameras` cameras (more than one); set
    // before the dialog opens.
    void SetBatch(int cameras) { batch_ = cameras; }
    bool IsBatch() const { return batch_ > 1; }
    // The credentials typed: in a batch a blank field gives none (each
    // camera's own then counts); otherwise what the fields hold.
    Credentials GivenCredentials() const { return given_; }
    // Complete after an OK result; zero-filled before.
    const NetSettings& Settings() const { return settings_; }

    // Checks every field, shows why each refused one is refused and returns
    // true when none is.
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
    // The reason for one field, or empty; `final` also reports blank and
    // incomplete values, which are not errors while they are being typed.
    QString AddressProblem(std::size_t index, bool final) const;
    QString PortProblem() const;
    QString CredentialProblem(const QLineEdit* field) const;
    void ShowProblems(bool final);

    LanguageX& language_;
    DeviceEntry entry_{};
    NetSettings settings_{};

    QCheckBox* dhcp_ = nullptr;
    std::array<IpAddressEdit*, 5> addresses_{};  // ip, mask, gateway, dns1, dns2
    // Under each address, then the port, the user and the password.
    std::array<QLabel*, 8> problems_{};
    QLabel* ip_label_ = nullptr;
    QLabel* batch_note_ = nullptr;
    std::optional<AddressFacts> facts_;
    LinkAsk link_ask_;
    int batch_ = 0;
    Credentials given_;
    QLineEdit* http_port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
