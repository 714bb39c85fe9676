#include "ui/dlg_net_information.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QValidator>
#include <array>
#include <utility>

#include "config/language_x.h"
#include "config/text_convert.h"
#include "core/ipv4_subnet.h"
#include "ui/dialog_template.h"
#include "ui/ip_address_edit.h"
#include "ui/plan_texts.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

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

// The bytes a text field becomes on the wire (the record's code page), in
// full: the check sees what would be cut.
std::string WireBytes(const QString& text) {
    const std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<std::size_t>(text.size()));
    std::string bytes(wide.size() * 4 + 1, '\0');
    WideToAnsi(wide, std::span<char>(bytes.data(), bytes.size()));
    bytes.resize(std::char_traits<char>::length(bytes.c_str()));
    return bytes;
}

QLabel* RightLabel(QWidget* parent, const char* text, int id) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SetControlId(label, id);
    return label;
}

// The problem label a plan's field is shown under; none for a refusal that
// names no field the dialog has.
std::optional<std::size_t> SlotOf(PlanField field) {
    switch (field) {
        case PlanField::ip:
            return 0;
        case PlanField::mask:
            return 1;
        case PlanField::gateway:
            return 2;
        case PlanField::dns1:
            return 3;
        case PlanField::dns2:
            return 4;
        case PlanField::http_port:
            return 5;
        case PlanField::user:
            return 6;
        case PlanField::password:
            return 7;
        case PlanField::dhcp:
        case PlanField::none:
            break;
    }
    return std::nullopt;
}

// A refusal in the words that stand under its field: the reason alone, as
// the field already names itself.
QString FieldIssueText(const LanguageX& language, const PlanIssue& issue, bool standard) {
    switch (issue.problem) {
        case PlanProblem::bad_address:
            return VerdictUiText(language, issue.verdict);
        case PlanProblem::bad_value:
            return WireProblemUiText(language, issue.wire);
        case PlanProblem::gateway_outside:
            return UiText(language, IDS_GATEWAY_OUTSIDE);
        case PlanProblem::gateway_is_address:
            return UiText(language, IDS_FIELD_GATEWAY_IS_ADDRESS);
        case PlanProblem::no_mask:
            return UiText(language, IDS_FIELD_NO_MASK);
        case PlanProblem::password_needed:
            if (issue.field == PlanField::user) return UiText(language, IDS_FIELD_USER_NEEDED);
            return UiText(language,
                          standard ? IDS_FIELD_STANDARD_PASSWORD : IDS_FIELD_PASSWORD_NEEDED);
        default:
            return IssueUiText(language, issue, standard);
    }
}

constexpr std::array<int, 5> kAddressIds{IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_DNS1,
                                         IDC_DNS2};
constexpr std::array<int, 8> kProblemIds{
    IDC_IP_ADDRESS_PROBLEM, IDC_SUBNET_MASK_PROBLEM, IDC_GATEWAY_PROBLEM, IDC_DNS1_PROBLEM,
    IDC_DNS2_PROBLEM,       IDC_HTTP_PORT_PROBLEM,   IDC_USER_PROBLEM,    IDC_PASSWORD_PROBLEM};

}  // namespace

DlgNetInformation::DlgNetInformation(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("网络配置"));

    // Created in the order of the tab stops.
    dhcp_ = new QCheckBox(QStringLiteral("自动获取 IP 设置"), this);
    SetControlId(dhcp_, IDC_DHCP);
    connect(dhcp_, &QCheckBox::clicked, this, &DlgNetInformation::OnDhcpToggled);

    auto* frame = new QGroupBox(this);
    SetControlId(frame, IDC_STATIC);
    auto* address_grid = new QGridLayout(frame);
    const std::array<std::pair<const char*, int>, 5> labels{{{"IP 地址", IDC_IP_ADDRESS_LABEL},
                                                             {"子网掩码", IDC_SUBNET_MASK_LABEL},
                                                             {"网关", IDC_GATEWAY_LABEL},
                                                             {"DNS 服务器1", IDC_DNS1_LABEL},
                                                             {"DNS 服务器2", IDC_DNS2_LABEL}}};
    for (std::size_t i = 0; i < addresses_.size(); ++i) {
        addresses_[i] = new IpAddressEdit(frame);
        SetControlId(addresses_[i], kAddressIds[i]);
        problems_[i] = ProblemLabel(frame, kProblemIds[i]);
        const int row = static_cast<int>(2 * i);
        QLabel* label = RightLabel(frame, labels[i].first, labels[i].second);
        if (i == 0) ip_label_ = label;
        address_grid->addWidget(label, row, 0);
        address_grid->addWidget(addresses_[i], row, 1);
        address_grid->addWidget(problems_[i], row + 1, 1);
        connect(addresses_[i], &QLineEdit::textEdited, this, [this] { ShowProblems(ok_pressed_); });
        connect(addresses_[i], &QLineEdit::inputRejected, this,
                [this] { ShowProblems(ok_pressed_); });
        connect(addresses_[i], &QLineEdit::editingFinished, this,
                [this] { ShowProblems(ok_pressed_); });
    }
    address_grid->setColumnStretch(1, 1);

    auto* account = new QGridLayout;
    http_port_ = new QLineEdit(this);
    SetControlId(http_port_, IDC_HTTP_PORT);
    http_port_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), http_port_));
    connect(http_port_, &QLineEdit::textEdited, this, [this] { ShowProblems(ok_pressed_); });
    problems_[5] = ProblemLabel(this, kProblemIds[5]);
    user_ = new QLineEdit(this);
    SetControlId(user_, IDC_USER);
    user_->setValidator(new Utf8LimitValidator(kMaxCredentialBytes, user_));
    password_ = new QLineEdit(this);
    SetControlId(password_, IDC_PASSWORD);
    password_->setEchoMode(QLineEdit::Password);
    password_->setValidator(new Utf8LimitValidator(kMaxCredentialBytes, password_));
    problems_[6] = ProblemLabel(this, kProblemIds[6]);
    problems_[7] = ProblemLabel(this, kProblemIds[7]);
    for (QLineEdit* field : {user_, password_})
        connect(field, &QLineEdit::textEdited, this, [this] { ShowProblems(ok_pressed_); });
    batch_note_ = new QLabel(this);
    SetControlId(batch_note_, IDC_BATCH_NOTE);
    batch_note_->setWordWrap(true);
    batch_note_->setTextFormat(Qt::PlainText);
    batch_note_->hide();
    account->addWidget(RightLabel(this, "Http 端口", IDC_HTTP_PORT_LABEL), 0, 0);
    account->addWidget(http_port_, 0, 1);
    account->addWidget(problems_[5], 1, 1);
    account->addWidget(RightLabel(this, "用户", IDC_USER_LABEL), 2, 0);
    account->addWidget(user_, 2, 1);
    account->addWidget(problems_[6], 3, 1);
    account->addWidget(RightLabel(this, "密码", IDC_PASSWORD_LABEL), 4, 0);
    account->addWidget(password_, 4, 1);
    account->addWidget(problems_[7], 5, 1);
    account->addWidget(batch_note_, 6, 1);
    account->setColumnStretch(1, 1);

    ok_ = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok_, IDOK);
    // Enter confirms from any field, as the dialog's OK id is its default
    // command.
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &DlgNetInformation::OnOk);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    SetControlId(cancel, IDCANCEL);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dhcp_);
    layout->addWidget(frame);
    layout->addLayout(account);
    layout->addLayout(buttons);
    // Never smaller than its texts need, whatever the pack and the scale.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    setSizeGripEnabled(false);
}

DlgNetInformation::~DlgNetInformation() {
    // The base class hides the dialog as it goes, which takes the focus from
    // a field and finishes its editing: nothing of this class may run then.
    for (IpAddressEdit* field : addresses_) {
        if (field != nullptr) field->disconnect(this);
    }
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
    if (credentials_) {
        user_->setText(QString::fromStdString(credentials_->user.value_or(std::string())));
        password_->setText(QString::fromStdString(credentials_->password.value_or(std::string())));
    }
    dhcp_->setChecked(entry_.info.dhcp != 0);
    OnDhcpToggled();
    const std::array<std::string_view, 5> reported{
        GetText(entry_.info.ip), GetText(entry_.info.mask), GetText(entry_.info.gateway),
        GetText(entry_.info.dns1), GetText(entry_.info.dns2)};
    for (std::size_t i = 0; i < addresses_.size(); ++i) addresses_[i]->SetAddressText(reported[i]);
    if (IsBatch()) {
        setWindowTitle(UiText(language_, IDS_BATCH_CAPTION).arg(batch_));
        ip_label_->setText(UiText(language_, IDS_START_ADDRESS));
        // A batch hands out addresses unless DHCP is switched on for all.
        dhcp_->setChecked(false);
        OnDhcpToggled();
        user_->clear();
        batch_note_->setText(UiText(language_, IDS_BATCH_CREDENTIALS));
        batch_note_->show();
    }
    ShowProblems(ok_pressed_);
    adjustSize();
}

void DlgNetInformation::OnDhcpToggled() {
    const bool automatic = dhcp_->isChecked();
    for (IpAddressEdit* address : addresses_) address->setEnabled(!automatic);
    ShowProblems(ok_pressed_);
}

QString DlgNetInformation::AddressProblem(std::size_t index, bool final) const {
    const IpAddressEdit* edit = addresses_[index];
    // With DHCP the camera takes its addresses from the network; what the
    // fields hold goes out only as far as it reads as an address.
    if (dhcp_->isChecked()) return {};
    if (!edit->Refused().isEmpty())
        return UiText(language_, IDS_ADDRESS_CHARACTER).arg(edit->Refused());
    switch (edit->Problem()) {
        case quorvex::AddressProblem::kNone:
            break;
        case quorvex::AddressProblem::kBlank:
            // No DNS server, or no gateway, is a choice; no address is not.
            if (!final || index >= 2) return {};
            return UiText(language_, IDS_ADDRESS_BLANK);
        case quorvex::AddressProblem::kIncomplete:
            return final ? UiText(language_, IDS_ADDRESS_INCOMPLETE) : QString();
        case quorvex::AddressProblem::kOctetTooLarge:
            return UiText(language_, IDS_OCTET_TOO_LARGE).arg(edit->BadOctet());
        case quorvex::AddressProblem::kMalformed:
            return UiText(language_, IDS_ADDRESS_MALFORMED);
    }
    if (index == 1 && (!MaskPrefixLength(*edit->Address()) || *edit->Address() == 0))
        return UiText(language_, IDS_MASK_NOT_CONTIGUOUS);
    return {};
}

QString DlgNetInformation::PortProblem() const {
    return PortValue(http_port_->text()) == 0 ? UiText(language_, IDS_PORT_RANGE) : QString();
}

DlgNetInformation::Problems DlgNetInformation::InputProblems(bool final, bool& complete) const {
    Problems problems;
    complete = true;
    for (std::size_t i = 0; i < addresses_.size(); ++i) {
        problems[i] = AddressProblem(i, final);
        complete = complete && AddressProblem(i, true).isEmpty();
    }
    problems[5] = PortProblem();
    complete = complete && problems[5].isEmpty();
    return problems;
}

void DlgNetInformation::AddPlanProblems(const ChangePlan& plan, bool final,
                                        Problems& problems) const {
    for (const CameraPlan& camera : plan.cameras) {
        const PlanIssue& issue = camera.refusal;
        if (issue.problem == PlanProblem::password_needed && !final) continue;
        const std::optional<std::size_t> slot = SlotOf(issue.field);
        if (slot && problems[*slot].isEmpty())
            problems[*slot] = FieldIssueText(language_, issue, camera.standard);
    }
}

bool DlgNetInformation::ShowProblems(const Problems& problems, bool focus) {
    const std::array<QWidget*, 3> others{http_port_, user_, password_};
    QWidget* first = nullptr;
    for (std::size_t i = 0; i < problems_.size(); ++i) {
        if (i < addresses_.size()) addresses_[i]->SetErrorShown(!problems[i].isEmpty());
        problems_[i]->setText(problems[i]);
        problems_[i]->setVisible(!problems[i].isEmpty());
        if (!problems[i].isEmpty() && first == nullptr)
            first = i < addresses_.size() ? addresses_[i] : others.at(i - addresses_.size());
    }
    if (focus && first != nullptr) first->setFocus(Qt::OtherFocusReason);
    return first == nullptr;
}

bool DlgNetInformation::ShowProblems(bool final, bool focus) {
    bool complete = false;
    Problems problems = InputProblems(final, complete);
    if (complete && planner_) {
        if (const std::optional<ChangePlan> plan = planner_(Request(), false))
            AddPlanProblems(*plan, final, problems);
    }
    return ShowProblems(problems, focus);
}

bool DlgNetInformation::Validate() {
    return ShowProblems(true, true);
}

QString DlgNetInformation::ProblemText(int control_id) const {
    if (control_id == IDC_HTTP_PORT) return problems_[5]->text();
    if (control_id == IDC_USER) return problems_[6]->text();
    if (control_id == IDC_PASSWORD) return problems_[7]->text();
    for (std::size_t i = 0; i < kAddressIds.size(); ++i) {
        if (kAddressIds[i] == control_id) return problems_[i]->text();
    }
    return {};
}

ChangeRequest DlgNetInformation::Request() const {
    ChangeRequest request;
    request.kind = IsBatch() ? ChangeKind::batch : ChangeKind::settings;
    request.dhcp = dhcp_->isChecked();
    if (!dhcp_->isChecked()) {
        const std::array<std::optional<std::string>*, 5> values{
            &request.ip, &request.mask, &request.gateway, &request.dns1, &request.dns2};
        for (std::size_t i = 0; i < addresses_.size(); ++i)
            if (const auto value = addresses_[i]->Address()) *values[i] = AddressText(*value);
    }
    if (const int port = PortValue(http_port_->text())) {
        request.http_port = static_cast<std::uint16_t>(port);
    }
    if (const std::string user = WireBytes(user_->text()); !user.empty()) {
        request.credentials.user = user;
    }
    if (const std::string password = WireBytes(password_->text()); !password.empty()) {
        request.credentials.password = password;
    }
    return request;
}

void DlgNetInformation::OnOk() {
    ok_pressed_ = true;
    if (!Validate()) return;
    accepted_.reset();
    if (planner_) {
        std::optional<ChangePlan> plan = planner_(Request(), true);
        if (!plan) return;
        bool complete = false;
        Problems problems = InputProblems(true, complete);
        AddPlanProblems(*plan, true, problems);
        if (!ShowProblems(problems, true)) return;
        accepted_ = std::move(plan);
    }
    NetSettings settings{};
    // A field that does not read as an address (blank, or greyed out under
    // DHCP with what the camera reported) never goes out as 0.0.0.0: under
    // DHCP the camera's own value stands, otherwise it goes out empty.
    const std::array<std::string_view, 5> reported{
        GetText(entry_.info.ip), GetText(entry_.info.mask), GetText(entry_.info.gateway),
        GetText(entry_.info.dns1), GetText(entry_.info.dns2)};
    const bool automatic = dhcp_->isChecked();
    auto address = [&](std::size_t i) -> std::string {
        if (const auto value = addresses_[i]->Address()) return quorvex::AddressText(*value);
        std::uint32_t own = 0;
        return automatic && ParseAddress(reported[i], own) ? std::string(reported[i])
                                                           : std::string();
    };
    SetText(settings.ip, address(0));
    SetText(settings.mask, address(1));
    SetText(settings.gateway, address(2));
    SetText(settings.dns1, address(3));
    SetText(settings.dns2, address(4));
    settings.dhcp = automatic ? 1 : 0;
    settings.http_port = static_cast<std::uint16_t>(PortValue(http_port_->text()));
    const std::string user = WireBytes(user_->text());
    const std::string password = WireBytes(password_->text());
    SetText(settings.user, user);
    SetText(settings.password, password);
    settings_ = settings;
    accept();
}

}  // namespace quorvex
