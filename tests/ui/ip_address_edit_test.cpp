#include "ui/ip_address_edit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

namespace quorvex {

TEST(IpAddressEdit, WhatIsNoAddressShowsBlankAndReadsAsZeros) {
    IpAddressEdit edit;
    EXPECT_TRUE(edit.SetAddressText("192.168.1.20"));
    EXPECT_EQ(edit.AddressText(), "192.168.1.20");
    // Never the address parser's failure value 255.255.255.255.
    for (const char* bad : {"", "1.2.3", "256.1.1.1", "10.0.0.1 ", "abc", "1.2.3.4.5"}) {
        edit.SetAddressText("10.1.2.3");
        EXPECT_FALSE(edit.SetAddressText(bad)) << bad;
        EXPECT_TRUE(edit.IsBlank()) << bad;
        EXPECT_EQ(edit.AddressText(), "0.0.0.0") << bad;
    }
    edit.SetAddress(0x0A4D0001u);  // host order, first number most significant
    edit.Field(3)->clear();        // an empty field reads as 0
    EXPECT_EQ(edit.AddressText(), "10.77.0.0");
}

TEST(IpAddressEdit, TypingMovesAcrossFieldsAndRefusesNumbersAbove255) {
    IpAddressEdit edit;
    edit.show();
    QApplication::setActiveWindow(&edit);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.Field(0)->setFocus();
    QTest::keyClicks(edit.Field(0), QStringLiteral("192"));  // three digits move on
    EXPECT_TRUE(edit.Field(1)->hasFocus());
    QTest::keyClicks(edit.Field(1), QStringLiteral("168."));  // a dot moves on sooner
    QTest::keyClicks(edit.Field(2), QStringLiteral("7."));
    QTest::keyClicks(edit.Field(3), QStringLiteral("300"));  // the last 0 is refused
    EXPECT_EQ(edit.AddressText(), "192.168.7.30");
    edit.Field(3)->home(false);
    QTest::keyClick(edit.Field(3), Qt::Key_Backspace);  // at the start: back a field
    EXPECT_TRUE(edit.Field(2)->hasFocus());
    edit.Field(1)->setText(QStringLiteral("999"));  // set from outside: not validated
    EXPECT_EQ(edit.AddressText(), "192.0.7.30");
}

}  // namespace quorvex
