#pragma once

// The IPv4 address control: four octet fields in one sunken frame, with the
// dots drawn between them. A field holds 0..255 or nothing; an empty field
// reads as 0, so a blank control reads back as 0.0.0.0.

#include <QFrame>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class QLineEdit;

namespace quorvex {

class IpAddressEdit : public QFrame {
    Q_OBJECT

public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Shows `address_host_order`, the first number in the most significant byte.
    void SetAddress(std::uint32_t address_host_order);
    // Shows dotted text. Text that is not four decimal numbers 0..255 blanks
    // the control and returns false.
    bool SetAddressText(std::string_view text);
    // Empties all four fields.
    void ClearAddress();

    // The four numbers, first field first; an empty or unreadable field gives 0.
    std::array<int, 4> Fields() const;
    // The fields as "%d.%d.%d.%d".
    std::string AddressText() const;
    // True when every field is empty.
    bool IsBlank() const;

    // The octet field `index` (0..3), for keyboard focus and tests.
    QLineEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FocusField(int index, bool at_start);
    int IndexOf(const QObject* field) const;
    void UpdateBackground();

    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace quorvex
