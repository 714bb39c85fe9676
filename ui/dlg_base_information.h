#pragma once

// The basic information dialog: a device's two firmware versions, and what a
// technician needs to recognise it: its name, its own address and mask (also
// for a camera outside this PC's subnet, whose list cell names no address)
// and its MAC address. The layout sizes itself to its texts.

#include <QDialog>

#include "core/device_records.h"

class QLabel;

namespace quorvex {

class LanguageX;

class DlgBaseInformation : public QDialog {
    Q_OBJECT

public:
    explicit DlgBaseInformation(LanguageX& language, QWidget* parent = nullptr);

    // The device shown; set before the dialog opens.
    void SetDevice(const DeviceEntry& entry) { entry_ = entry; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Texts from the pack, then the device's values; runs once, when first shown.
    void OnInitDialog();

    LanguageX& language_;
    DeviceEntry entry_{};
    QLabel* system_version_ = nullptr;
    QLabel* app_version_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* own_address_ = nullptr;
    QLabel* own_mask_ = nullptr;
    QLabel* mac_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
