#pragma once

// The network configuration dialog: edits one device's addressing, HTTP port
// and the credentials the change is sent with, and fills a NetSettings on OK.
// It sends nothing itself.
//
// Input is kept within what the record and the wire hold: an address the
// device reported that is not a dotted IPv4 address shows as a blank control
// (read back as 0.0.0.0, never as 255.255.255.255); OK stays disabled while
// the HTTP port is empty, 0 or above 65535; user and password take at most 31
// bytes of UTF-8, the width of their record fields.

#include <QDialog>
#include <array>

#include "core/device_records.h"

class QCheckBox;
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void OnDhcpToggled();
    void OnOk();
    void UpdateOkButton();

    LanguageX& language_;
    DeviceEntry entry_{};
    NetSettings settings_{};

    QCheckBox* dhcp_ = nullptr;
    std::array<IpAddressEdit*, 5> addresses_{};  // ip, mask, gateway, dns1, dns2
    QLineEdit* http_port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
