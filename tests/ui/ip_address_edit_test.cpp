#include "ui/ip_address_edit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

namespace quorvex {

TEST(IpAddressEdit, HoldsExactlyWhatIsTypedOvertypedOrPasted) {
    IpAddressEdit edit;
    edit.show();
    QApplication::setActiveWindow(&edit);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();

    // Typing over a filled field: nothing jumps, nothing is kept from before.
    ASSERT_TRUE(edit.SetAddressText("10.77.0.57"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("192.168.1.64"));
    EXPECT_EQ(edit.AddressText(), "192.168.1.64");
    EXPECT_EQ(edit.Problem(), AddressProblem::kNone);
    EXPECT_EQ(edit.Address(), std::optional<std::uint32_t>(0x4001A8C0u));  // network order

    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("255.255.255.255"));  // a dot after three digits
    EXPECT_EQ(edit.AddressText(), "255.255.255.255");

    // Backspace across a dot removes the dot and nothing else.
    edit.end(false);
    for (int i = 0; i < 5; ++i) QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.AddressText(), "255.255.25");
    EXPECT_EQ(edit.Problem(), AddressProblem::kIncomplete);
    QTest::keyClicks(&edit, QStringLiteral("5.1"));
    EXPECT_EQ(edit.AddressText(), "255.255.255.1");

    // An out-of-range number stays as typed and is reported.
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("999.1.1.1"));
    EXPECT_EQ(edit.AddressText(), "999.1.1.1");
    EXPECT_EQ(edit.Problem(), AddressProblem::kOctetTooLarge);
    EXPECT_EQ(edit.BadOctet(), QStringLiteral("999"));
    EXPECT_FALSE(edit.Address());
    QTest::keyClicks(&edit, QStringLiteral("x -"));  // not digits or dots: refused, and kept
    EXPECT_EQ(edit.AddressText(), "999.1.1.1");      // for the owner to say why
    EXPECT_EQ(edit.Refused(), QStringLiteral("-"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("1.2.3.4.5"));
    EXPECT_TRUE(edit.Refused().isEmpty());
    EXPECT_EQ(edit.Problem(), AddressProblem::kMalformed);

    // A whole address pasted, with the line end a copy brings along.
    QApplication::clipboard()->setText(QStringLiteral("172.16.254.3\n"));
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.AddressText(), "172.16.254.3");
    QApplication::clipboard()->setText(QStringLiteral("host name"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);  // refused whole
    EXPECT_EQ(edit.AddressText(), "172.16.254.3");

    // What a device reported that is no address shows blank, never rewritten.
    for (const char* bad : {"", "1.2.3", "256.1.1.1", "abc"}) {
        EXPECT_FALSE(edit.SetAddressText(bad)) << bad;
        EXPECT_TRUE(edit.IsBlank()) << bad;
        EXPECT_EQ(edit.Problem(), AddressProblem::kBlank);
    }
    edit.SetAddress(0x0A4D0001u);  // host order, first number most significant
    EXPECT_EQ(edit.AddressText(), "10.77.0.1");
}

}  // namespace quorvex
