#pragma once

// The basic information dialog: a device's two firmware versions.

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
    // Texts from the pack, then the versions; runs once, when first shown.
    void OnInitDialog();

    LanguageX& language_;
    DeviceEntry entry_{};
    QLabel* system_version_ = nullptr;
    QLabel* app_version_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
