#pragma once

// The network configuration dialog: edits one device's addressing, HTTP port
// and the credentials the change is sent with, and fills a NetSettings on OK.
// It sends nothing itself.
//
// Every address field holds exactly what was typed. OK accepts only values
// that can go out as they stand: with DHCP off the address must be a host
// address of the subnet its mask (contiguous) describes, and the gateway,
// when given, must lie in it; the DNS fields may stay blank (0.0.0.0); the
// HTTP port is 1..65535. Each refused value says why right under its field,
// in the pack's words, and the dialog stays open. User and password take at
// most 31 bytes of UTF-8, the width of their record fields. The layout sizes
// itself to its texts, so no pack and no scale clips a label.

#include <QDialog>
#include <array>

#include "core/device_records.h"

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

    // The device edited; set before the dialog opens.
    void SetDevice(const DeviceEntry& entry) { entry_ = entry; }
    const DeviceEntry& Device() const { return entry_; }
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
    void ShowProblems(bool final);

    LanguageX& language_;
    DeviceEntry entry_{};
    NetSettings settings_{};

    QCheckBox* dhcp_ = nullptr;
    std::array<IpAddressEdit*, 5> addresses_{};  // ip, mask, gateway, dns1, dns2
    std::array<QLabel*, 6> problems_{};          // under each address, then the port
    QLineEdit* http_port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
