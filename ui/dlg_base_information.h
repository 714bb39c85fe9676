#pragma once

// The basic information dialog: a device's two firmware versions, and what a
// technician needs to recognise it: its name, its own address and mask (also
// for a camera outside this PC's subnet, whose list cell names no address)
// and its MAC address. The layout sizes itself to its texts.
//
// A camera only WS-Discovery heard also shows its model, firmware, serial
// number, DHCP, gateway, name servers and HTTP port: what the last read of
// its device service found when there was one, else what discovery told.

#include <QDialog>
#include <array>
#include <memory>
#include <optional>

#include "core/device_records.h"
#include "search/standard_change_steps.h"

class QLabel;

namespace quorvex {

class LanguageX;

class DlgBaseInformation : public QDialog {
    Q_OBJECT

public:
    explicit DlgBaseInformation(LanguageX& language, QWidget* parent = nullptr);

    // The device shown; set before the dialog opens.
    void SetDevice(const DeviceEntry& entry) { entry_ = entry; }
    // A WS-Discovery camera: what discovery told of it and the last read of
    // its device service, if any; `current` false once the window changed it
    // since: its network values are then discovery's, its model, firmware,
    // serial and MAC still the read's. Set before the dialog opens.
    void SetStandard(std::shared_ptr<const WsdInfo> wsd, std::optional<StandardSnapshot> read,
                     bool current) {
        wsd_ = std::move(wsd);
        read_ = std::move(read);
        current_ = current;
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Texts from the pack, then the device's values; runs once, when first shown.
    void OnInitDialog();
    // The rows of a WS-Discovery camera, from the read when there is one.
    void ShowStandard();

    LanguageX& language_;
    DeviceEntry entry_{};
    QLabel* system_version_ = nullptr;
    QLabel* app_version_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* own_address_ = nullptr;
    QLabel* own_mask_ = nullptr;
    QLabel* mac_ = nullptr;
    // Model, firmware, serial, DHCP, gateway, name servers, HTTP port: label
    // and value, shown for a WS-Discovery camera only.
    std::array<std::pair<QLabel*, QLabel*>, 7> standard_{};
    std::shared_ptr<const WsdInfo> wsd_;
    std::optional<StandardSnapshot> read_;
    bool current_ = false;
    bool initialised_ = false;
};

}  // namespace quorvex
