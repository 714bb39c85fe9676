#include "ui/ip_address_edit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

namespace quorvex {
namespace {

TEST(IpAddressEdit, ShowsDottedAddressesAndBlanksEverythingElse) {
    IpAddressEdit edit;
    EXPECT_TRUE(edit.SetAddressText("192.168.1.20"));
    EXPECT_EQ(edit.AddressText(), "192.168.1.20");
    EXPECT_EQ(edit.Field(3)->text(), QStringLiteral("20"));

    // What a device may report in an address field that is not an address:
    // the control goes blank and reads back as 0.0.0.0, never as the
    // address parser's failure value 255.255.255.255.
    for (const char* bad :
         {"", "1.2.3", "256.1.1.1", "10.0.0.1 ", "abc", "1.2.3.4.5", "-1.2.3.4"}) {
        edit.SetAddressText("10.1.2.3");
        EXPECT_FALSE(edit.SetAddressText(bad)) << bad;
        EXPECT_TRUE(edit.IsBlank()) << bad;
        EXPECT_EQ(edit.AddressText(), "0.0.0.0") << bad;
    }

    edit.SetAddress(0x0A4D0001u);  // host order, first number most significant
    EXPECT_EQ(edit.AddressText(), "10.77.0.1");

    // One empty field reads as 0.
    edit.Field(2)->clear();
    EXPECT_EQ(edit.AddressText(), "10.77.0.1");
    edit.Field(3)->clear();
    EXPECT_EQ(edit.AddressText(), "10.77.0.0");
    EXPECT_FALSE(edit.IsBlank());
}

TEST(IpAddressEdit, TypingMovesAcrossFieldsAndRefusesNumbersAbove255) {
    IpAddressEdit edit;
    edit.show();
    QApplication::setActiveWindow(&edit);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.Field(0)->setFocus();

    // Three digits move on by themselves; a dot moves on after fewer.
    QTest::keyClicks(edit.Field(0), QStringLiteral("192"));
    EXPECT_TRUE(edit.Field(1)->hasFocus());
    QTest::keyClicks(edit.Field(1), QStringLiteral("168."));
    EXPECT_TRUE(edit.Field(2)->hasFocus());
    QTest::keyClicks(edit.Field(2), QStringLiteral("7."));
    // "300" cannot be typed: the last 0 is refused.
    QTest::keyClicks(edit.Field(3), QStringLiteral("300"));
    // Backspace at the start of a field goes back to the previous one.
    edit.Field(3)->home(false);
    QTest::keyClick(edit.Field(3), Qt::Key_Backspace);
    EXPECT_TRUE(edit.Field(2)->hasFocus());
    EXPECT_EQ(edit.Field(0)->text(), QStringLiteral("192"));
    EXPECT_EQ(edit.Field(1)->text(), QStringLiteral("168"));
    EXPECT_EQ(edit.Field(2)->text(), QStringLiteral("7"));
    EXPECT_EQ(edit.Field(3)->text(), QStringLiteral("30"));
    EXPECT_EQ(edit.AddressText(), "192.168.7.30");

    // Text put in from outside (a pack naming inner windows by id 0) is not
    // validated; it still reads back as a number 0..255.
    edit.Field(1)->setText(QStringLiteral("999"));
    edit.Field(2)->setText(QStringLiteral("x"));
    EXPECT_EQ(edit.AddressText(), "192.0.0.30");
}

}  // namespace
}  // namespace quorvex
