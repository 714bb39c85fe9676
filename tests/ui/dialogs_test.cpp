#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "config/language_x.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

namespace quorvex {

using testing::FindControl;

struct NetDialog {
    NetDialog() : dialog(language) {
        DeviceEntry entry{};
        SetText(entry.info.ip, "10.77.0.30");
        SetText(entry.info.mask, "255.255.255.0");
        SetText(entry.info.gateway, "10.77.0.2");
        SetText(entry.info.dns1, "");         // the device reported none
        SetText(entry.info.dns2, "8.8.8.x");  // nor anything readable here
        SetText(entry.info.user, "admin");
        SetText(entry.info.password, "secret");
        entry.info.http_port = 80;
        entry.protocol = kProtocolText;
        dialog.SetDevice(entry);
        dialog.show();
    }
    QLineEdit* Edit(int id) { return FindControl<QLineEdit>(&dialog, id); }
    IpAddressEdit* Address(int id) { return FindControl<IpAddressEdit>(&dialog, id); }

    LanguageX language;  // no pack: the built-in texts
    DlgNetInformation dialog;
};

TEST(DlgNetInformation, ShowsTheDeviceWithUnreadableAddressesBlankAndNeverItsPassword) {
    NetDialog net;
    EXPECT_EQ(net.Address(IDC_IP_ADDRESS)->AddressText(), "10.77.0.30");
    EXPECT_TRUE(net.Address(IDC_DNS1)->IsBlank());
    EXPECT_TRUE(net.Address(IDC_DNS2)->IsBlank());
    EXPECT_EQ(net.Edit(IDC_USER)->text(), QStringLiteral("admin"));
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->text(), QString());
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    FindControl<QPushButton>(&net.dialog, IDOK)->click();
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.30");
    EXPECT_EQ(GetText(net.dialog.Settings().dns2), "0.0.0.0");
    EXPECT_EQ(GetText(net.dialog.Settings().password), "");
}

TEST(DlgNetInformation, RefusedValuesSayWhyAndTheDialogStaysOpen) {
    NetDialog net;
    IpAddressEdit* ip = net.Address(IDC_IP_ADDRESS);
    // One Tab stop per address.
    QApplication::setActiveWindow(&net.dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&net.dialog));
    ip->setFocus();
    QTest::keyClick(ip, Qt::Key_Tab);
    EXPECT_TRUE(net.Address(IDC_SUBNET_MASK)->hasFocus());

    struct Case {
        int id;
        const char* text;
        const char* why;
    };
    for (const Case& c : {Case{IDC_IP_ADDRESS, "999.1.1.1", "999 is above 255."},
                          Case{IDC_IP_ADDRESS, "", "Enter an address."},
                          Case{IDC_IP_ADDRESS, "10.77.0", "An address is four numbers"},
                          Case{IDC_IP_ADDRESS, "0.0.0.0", "No camera can hold"},
                          Case{IDC_IP_ADDRESS, "10.77.0.255", "broadcast address"},
                          Case{IDC_SUBNET_MASK, "255.0.255.0", "Not a subnet mask"},
                          Case{IDC_GATEWAY, "10.78.0.1", "gateway is outside"}}) {
        IpAddressEdit* field = net.Address(c.id);
        const std::string before = field->AddressText();
        field->selectAll();
        field->del();
        QTest::keyClicks(field, QString::fromLatin1(c.text));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << c.text;
        EXPECT_TRUE(net.dialog.ProblemText(c.id).contains(QLatin1String(c.why)))
            << c.text << ": " << net.dialog.ProblemText(c.id).toStdString();
        EXPECT_EQ(field->AddressText(), c.text);  // never rewritten
        field->setText(QString::fromStdString(before));
    }
    QLineEdit* port = net.Edit(IDC_HTTP_PORT);
    for (const char* bad : {"", "0", "65536", "00000"}) {
        port->setText(QString::fromLatin1(bad));
        QTest::keyClick(port, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << bad;
        EXPECT_EQ(net.dialog.ProblemText(IDC_HTTP_PORT),
                  QStringLiteral("Enter a port from 1 to 65535."));
    }
    // With DHCP on the address fields are not the camera's to keep.
    port->setText(QStringLiteral("80"));
    net.Address(IDC_IP_ADDRESS)->setText(QStringLiteral("999.1.1.1"));
    net.dialog.findChild<QCheckBox*>()->click();
    QTest::keyClick(port, Qt::Key_Return);
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(net.dialog.Settings().dhcp, 1);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "0.0.0.0");
    EXPECT_EQ(GetText(net.dialog.Settings().mask), "255.255.255.0");
}

TEST(DlgNetInformation, TypedAddressGoesOutAsTypedAndCredentialsStopAtThirtyOneBytes) {
    NetDialog net;
    IpAddressEdit* ip = net.Address(IDC_IP_ADDRESS);
    ip->setFocus();
    ip->selectAll();
    QTest::keyClicks(ip, QStringLiteral("10.77.0.164"));  // over 10.77.0.30
    QLineEdit* port = net.Edit(IDC_HTTP_PORT);
    port->clear();
    QTest::keyClicks(port, QStringLiteral("8a0b8"));  // letters cannot be typed
    QLineEdit* user = net.Edit(IDC_USER);
    user->clear();
    // Ten CJK characters are 30 bytes of UTF-8; an eleventh would need 33.
    for (const QChar c : QStringLiteral("管理员管理员管理员管理")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(user, &press);  // as an input method delivers it
    }
    QTest::keyClicks(user, QStringLiteral("x"));  // the 31st byte still fits
    QTest::keyClicks(net.Edit(IDC_PASSWORD), QString(40, QLatin1Char('p')));
    QTest::keyClick(port, Qt::Key_Return);
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.164");
    EXPECT_EQ(net.dialog.Settings().http_port, 808);
    EXPECT_EQ(GetText(net.dialog.Settings().user), "管理员管理员管理员管x");
    EXPECT_EQ(GetText(net.dialog.Settings().password), std::string(31, 'p'));
}

TEST(CQuorvexDlg, WebAddressComesFromTheDevicesOwnAddressAndPort) {
    DeviceEntry entry{};
    SetText(entry.info.ip, "192.168.0.50");
    entry.info.http_port = 80;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50/"));
    entry.info.http_port = 8080;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50:8080/"));
    // Device texts that are not an address never become a URL.
    for (const char* bad : {"", "evil.example/x?", "1.2.3.4;reboot", "10.0.0.1 "}) {
        SetText(entry.info.ip, bad);
        EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QString()) << bad;
    }
}

}  // namespace quorvex
