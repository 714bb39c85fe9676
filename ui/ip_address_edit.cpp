#include "ui/ip_address_edit.h"

#include <QValidator>
#include <array>
#include <cstring>

#include "core/device_records.h"
#include "ui/record_text.h"

namespace quorvex {

namespace {

// Longest text taken at all: room for a mistyped address to be seen and
// reported, while a paste of a page of text is refused whole.
constexpr int kMaxTypedLength = 31;

class AddressCharacters : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override {
        // A pasted address often carries a line end or a blank.
        const QString trimmed = input.trimmed();
        if (trimmed.size() != input.size()) {
            position = std::min(position, static_cast<int>(trimmed.size()));
            input = trimmed;
        }
        refused.clear();
        for (const QChar c : input) {
            if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.') && refused.size() < 8)
                refused.append(c);
        }
        if (!refused.isEmpty()) return Invalid;
        return input.size() > kMaxTypedLength ? Invalid : Acceptable;
    }

    // What the last refused input held that is neither digit nor dot.
    mutable QString refused;
};

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    auto* characters = new AddressCharacters(this);
    setValidator(characters);
    // Connected before any owner's, so that the owner reads the new state.
    connect(this, &QLineEdit::inputRejected, this,
            [this, characters] { refused_ = StripControls(characters->refused); });
    connect(this, &QLineEdit::textChanged, this, [this] { refused_.clear(); });
    // Wide enough for "255.255.255.255" in the edit's own font.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16);
}

void IpAddressEdit::SetAddress(std::uint32_t address_host_order) {
    setText(QStringLiteral("%1.%2.%3.%4")
                .arg((address_host_order >> 24) & 0xFFu)
                .arg((address_host_order >> 16) & 0xFFu)
                .arg((address_host_order >> 8) & 0xFFu)
                .arg(address_host_order & 0xFFu));
}

bool IpAddressEdit::SetAddressText(std::string_view text) {
    std::uint32_t address = 0;
    if (!ParseAddress(text, address)) {
        clear();
        return false;
    }
    setText(QString::fromStdString(quorvex::AddressText(address)));
    return true;
}

AddressProblem IpAddressEdit::Problem() const {
    const QString value = text();
    if (value.isEmpty()) return AddressProblem::kBlank;
    const QStringList parts = value.split(QLatin1Char('.'));
    if (parts.size() > 4) return AddressProblem::kMalformed;
    for (const QString& part : parts) {
        if (part.size() > 3) return AddressProblem::kMalformed;
    }
    if (!BadOctet().isEmpty()) return AddressProblem::kOctetTooLarge;
    if (parts.size() < 4) return AddressProblem::kIncomplete;
    for (const QString& part : parts) {
        if (part.isEmpty()) return AddressProblem::kIncomplete;
    }
    return AddressProblem::kNone;
}

QString IpAddressEdit::BadOctet() const {
    for (const QString& part : text().split(QLatin1Char('.'))) {
        if (part.size() <= 3 && part.toInt() > 255) return part;
    }
    return {};
}

std::optional<std::uint32_t> IpAddressEdit::Address() const {
    if (Problem() != AddressProblem::kNone) return std::nullopt;
    std::uint32_t address = 0;
    // Leading zeros ("010") are read as decimal, as typed.
    const QStringList parts = text().split(QLatin1Char('.'));
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(parts[static_cast<qsizetype>(i)].toInt());
    std::memcpy(&address, bytes.data(), sizeof address);
    return address;
}

void IpAddressEdit::SetErrorShown(bool shown) {
    setProperty("refused", shown);
    setStyleSheet(shown ? QStringLiteral("QLineEdit { border: 1px solid #c00000; }") : QString());
}

}  // namespace quorvex
