#include "ui/dlg_base_information.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/language_x.h"
#include "ui/dialog_template.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/standard_camera_view.h"
#include "ui/window_texts.h"

namespace quorvex {

DlgBaseInformation::DlgBaseInformation(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("基本属性"));

    auto* grid = new QGridLayout;
    auto add = [&](const QString& label_text, int label_id, int value_id) {
        auto* label = new QLabel(label_text, this);
        SetControlId(label, label_id);
        auto* value = new QLabel(this);
        SetControlId(value, value_id);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        return value;
    };
    name_ = add(QStringLiteral("Device name"), IDC_NAME_LABEL, IDC_NAME);
    own_address_ = add(QStringLiteral("Own address"), IDC_OWN_ADDRESS_LABEL, IDC_OWN_ADDRESS);
    own_mask_ = add(QStringLiteral("Own subnet mask"), IDC_OWN_MASK_LABEL, IDC_OWN_MASK);
    mac_ = add(QStringLiteral("MAC address"), IDC_MAC_LABEL, IDC_MAC);
    system_version_ =
        add(QStringLiteral("系统固件版本"), IDC_SYSTEM_VERSION_LABEL, IDC_SYSTEM_VERSION);
    app_version_ = add(QStringLiteral("应用固件版本"), IDC_APP_VERSION_LABEL, IDC_APP_VERSION);
    constexpr std::array<int, 7> kStandardIds{
        IDC_STANDARD_MODEL,   IDC_STANDARD_FIRMWARE, IDC_STANDARD_SERIAL,   IDC_STANDARD_DHCP,
        IDC_STANDARD_GATEWAY, IDC_STANDARD_DNS,      IDC_STANDARD_HTTP_PORT};
    for (std::size_t i = 0; i < standard_.size(); ++i) {
        standard_[i].second = add(QString(), kStandardIds[i] - 1, kStandardIds[i]);
        standard_[i].first =
            qobject_cast<QLabel*>(grid->itemAtPosition(grid->rowCount() - 1, 0)->widget());
    }
    grid->setColumnStretch(1, 1);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok, IDOK);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void DlgBaseInformation::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void DlgBaseInformation::OnInitDialog() {
    language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_BASEINFO);
    system_version_->setText(DeviceFieldText(entry_.info.software_version));
    app_version_->setText(DeviceFieldText(entry_.info.web_version));
    name_->setText(DeviceNameText(entry_.info));
    own_address_->setText(DeviceFieldText(entry_.info.ip));
    own_mask_->setText(DeviceFieldText(entry_.info.mask));
    mac_->setText(QString::fromStdString(DeviceKey(entry_.info)));
    const bool standard = wsd_ != nullptr || read_.has_value();
    for (auto& [label, value] : standard_) {
        label->setVisible(standard);
        value->setVisible(standard);
    }
    if (standard) ShowStandard();
    adjustSize();
}

void DlgBaseInformation::ShowStandard() {
    const std::array<int, 7> labels{IDS_INFO_MODEL,     IDS_INFO_FIRMWARE, IDS_INFO_SERIAL,
                                    IDS_INFO_DHCP,      IDS_INFO_GATEWAY,  IDS_INFO_DNS,
                                    IDS_FIELD_HTTP_PORT};
    for (std::size_t i = 0; i < labels.size(); ++i)
        standard_[i].first->setText(UiText(language_, labels[i]));
    // Without a read: what discovery told (its hardware scope names the model).
    std::array<QString, 7> values;
    DeviceInfo info = entry_.info;
    if (wsd_) values[0] = FieldText(wsd_->hardware);
    if (read_) {
        const auto& device = read_->information;
        const QString model =
            QString::fromStdString(device.manufacturer.empty() || device.model.empty()
                                       ? device.manufacturer + device.model
                                       : device.manufacturer + ' ' + device.model);
        if (!model.isEmpty()) values[0] = model;
        values[1] = QString::fromStdString(device.firmware_version);
        values[2] = QString::fromStdString(device.serial_number);
        if (read_->mac) {
            std::uint8_t mac[6];
            std::copy(read_->mac->begin(), read_->mac->end(), mac);
            mac_->setText(QString::fromStdString(DeviceKey(mac)));
        }
    }
    if (read_ && current_) {
        info = InfoWithSnapshot(entry_.info, *read_);
        const QStringList on_off = UiText(language_, IDS_PLAN_ON_OFF).split(QLatin1Char('|'));
        if (on_off.size() == 2) values[3] = on_off[info.dhcp != 0 ? 1 : 0];
        own_address_->setText(DeviceFieldText(info.ip));
        own_mask_->setText(DeviceFieldText(info.mask));
        values[4] = DeviceFieldText(info.gateway);
        QStringList servers;
        for (const QString& server : {FieldText(info.dns1), FieldText(info.dns2)})
            if (!server.isEmpty()) servers << server;
        values[5] = servers.join(QStringLiteral(", "));
    }
    if (info.http_port != 0) values[6] = QString::number(info.http_port);
    for (std::size_t i = 0; i < values.size(); ++i) standard_[i].second->setText(values[i]);
}

}  // namespace quorvex
