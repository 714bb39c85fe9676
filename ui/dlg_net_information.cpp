#include "ui/dlg_net_information.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QValidator>
#include <array>

#include "config/language_x.h"
#include "config/text_convert.h"
#include "ui/dialog_template.h"
#include "ui/ip_address_edit.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"

namespace quorvex {

namespace {

// Refuses any input whose UTF-8 form would not fit a record's text field.
class Utf8LimitValidator : public QValidator {
public:
    Utf8LimitValidator(int max_bytes, QObject* parent)
        : QValidator(parent), max_bytes_(max_bytes) {}

    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= max_bytes_ ? Acceptable : Invalid;
    }

private:
    int max_bytes_;
};

// A port the field's text names, or 0 when it names none (empty, 0, too big).
int PortValue(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

template <std::size_t N>
void StoreWide(const QString& text, char (&field)[N]) {
    const std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<std::size_t>(text.size()));
    WideToAnsi(wide, std::span<char>(field, N));
}

QLabel* RightLabel(QWidget* parent, const char* text, int id, int x, int y, int width, int height) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlaceControl(label, id, x, y, width, height);
    return label;
}

}  // namespace

DlgNetInformation::DlgNetInformation(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("网络配置"));
    FixDialogSize(this, 188, 164);

    // Created in template order, which is also the tab order.
    dhcp_ = new QCheckBox(QStringLiteral("自动获取 IP 设置"), this);
    PlaceControl(dhcp_, IDC_DHCP, 11, 8, 137, 14);
    connect(dhcp_, &QCheckBox::clicked, this, &DlgNetInformation::OnDhcpToggled);

    const std::array<int, 5> ids{IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_DNS1, IDC_DNS2};
    const std::array<int, 5> tops{26, 38, 51, 64, 77};
    for (std::size_t i = 0; i < addresses_.size(); ++i) {
        addresses_[i] = new IpAddressEdit(this);
        PlaceControl(addresses_[i], ids[i], 69, tops[i], 100, 11);
    }

    http_port_ = new QLineEdit(this);
    PlaceControl(http_port_, IDC_HTTP_PORT, 69, 98, 43, 12);
    http_port_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), http_port_));
    connect(http_port_, &QLineEdit::textChanged, this, &DlgNetInformation::UpdateOkButton);

    user_ = new QLineEdit(this);
    PlaceControl(user_, IDC_USER, 69, 113, 100, 12);
    user_->setValidator(new Utf8LimitValidator(kMaxCredentialBytes, user_));
    password_ = new QLineEdit(this);
    PlaceControl(password_, IDC_PASSWORD, 69, 127, 100, 12);
    password_->setEchoMode(QLineEdit::Password);
    password_->setValidator(new Utf8LimitValidator(kMaxCredentialBytes, password_));

    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    PlaceControl(cancel, IDCANCEL, 120, 144, 50, 14);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    PlaceControl(ok_, IDOK, 65, 144, 50, 14);
    // Enter confirms from any field, as the dialog's OK id is its default
    // command; a disabled OK makes Enter do nothing.
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &DlgNetInformation::OnOk);

    RightLabel(this, "IP 地址", IDC_IP_ADDRESS_LABEL, 13, 27, 51, 8);
    RightLabel(this, "子网掩码", IDC_SUBNET_MASK_LABEL, 13, 40, 52, 8);
    RightLabel(this, "网关", IDC_GATEWAY_LABEL, 13, 52, 51, 8);
    RightLabel(this, "DNS 服务器1", IDC_DNS1_LABEL, 13, 66, 51, 8);
    RightLabel(this, "Http 端口", IDC_HTTP_PORT_LABEL, 21, 101, 45, 8);
    RightLabel(this, "用户", IDC_USER_LABEL, 20, 116, 45, 8);
    RightLabel(this, "密码", IDC_PASSWORD_LABEL, 20, 130, 45, 8);
    auto* frame = new QGroupBox(this);
    PlaceControl(frame, IDC_STATIC, 9, 19, 168, 73);
    frame->lower();  // behind the controls it frames
    RightLabel(this, "DNS 服务器2", IDC_DNS2_LABEL, 13, 78, 51, 8);

    UpdateOkButton();
}

void DlgNetInformation::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void DlgNetInformation::OnInitDialog() {
    language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_NETCONFIG);
    http_port_->setText(QString::number(entry_.info.http_port));
    user_->setText(FieldText(entry_.info.user));
    password_->clear();
    dhcp_->setChecked(entry_.info.dhcp != 0);
    OnDhcpToggled();
    const std::array<std::string_view, 5> reported{
        GetText(entry_.info.ip), GetText(entry_.info.mask), GetText(entry_.info.gateway),
        GetText(entry_.info.dns1), GetText(entry_.info.dns2)};
    for (std::size_t i = 0; i < addresses_.size(); ++i) addresses_[i]->SetAddressText(reported[i]);
    UpdateOkButton();
}

void DlgNetInformation::OnDhcpToggled() {
    const bool automatic = dhcp_->isChecked();
    for (IpAddressEdit* address : addresses_) address->setEnabled(!automatic);
}

void DlgNetInformation::OnOk() {
    if (PortValue(http_port_->text()) == 0) return;
    NetSettings settings{};
    // Greyed-out controls are read too: with DHCP on the record still holds
    // the addresses shown.
    SetText(settings.ip, addresses_[0]->AddressText());
    SetText(settings.mask, addresses_[1]->AddressText());
    SetText(settings.gateway, addresses_[2]->AddressText());
    SetText(settings.dns1, addresses_[3]->AddressText());
    SetText(settings.dns2, addresses_[4]->AddressText());
    settings.dhcp = dhcp_->isChecked() ? 1 : 0;
    settings.http_port = static_cast<std::uint16_t>(PortValue(http_port_->text()));
    StoreWide(user_->text(), settings.user);
    StoreWide(password_->text(), settings.password);
    settings_ = settings;
    accept();
}

void DlgNetInformation::UpdateOkButton() {
    ok_->setEnabled(PortValue(http_port_->text()) != 0);
}

}  // namespace quorvex
