#pragma once

// The IPv4 address field: one edit, one Tab stop, holding exactly the digits
// and dots the user typed or pasted. Nothing is moved, jumped over or
// rewritten; what is not an address is reported by `Problem()` and shown by
// whoever owns the field, never fixed silently. Characters other than digits
// and dots are refused as they are typed (a paste is trimmed of surrounding
// white space first); the refused characters stay in `Refused()` until the
// next edit the field takes, so that whoever owns the field can say why.

#include <QLineEdit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex {

enum class AddressProblem {
    kNone,
    kBlank,          // nothing typed
    kIncomplete,     // fewer than four numbers, or a dot with no number beside it
    kOctetTooLarge,  // a number above 255 (`BadOctet()` names it)
    kMalformed,      // more than four numbers or a number of more than three digits
};

class IpAddressEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Shows `address_host_order`, the first number in the most significant byte.
    void SetAddress(std::uint32_t address_host_order);
    // Shows dotted text. Text that is not four decimal numbers 0..255 blanks
    // the field and returns false.
    bool SetAddressText(std::string_view text);
    void ClearAddress() { clear(); }

    // What is wrong with the text as it stands.
    AddressProblem Problem() const;
    // The first number above 255, as typed; empty when there is none.
    QString BadOctet() const;
    // The address in network byte order; none unless `Problem()` is kNone.
    std::optional<std::uint32_t> Address() const;
    // The text exactly as it stands (UTF-8 of digits and dots only).
    std::string AddressText() const { return text().toStdString(); }
    bool IsBlank() const { return text().isEmpty(); }

    // The characters of the last keystroke or paste the field refused
    // (`inputRejected`); empty once its text changes again.
    QString Refused() const { return refused_; }

    // Shows the field as holding a refused value (or not).
    void SetErrorShown(bool shown);

private:
    QString refused_;
};

}  // namespace quorvex
