#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "config/language_x.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_static.h"
#include "ui/dlg_base_information.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;

DeviceEntry TextDevice() {
    DeviceEntry entry{};
    SetText(entry.info.ip, "10.77.0.30");
    SetText(entry.info.mask, "255.255.255.0");
    SetText(entry.info.gateway, "10.77.0.1");
    SetText(entry.info.dns1, "");         // the device reported none
    SetText(entry.info.dns2, "8.8.8.x");  // nor anything readable here
    SetText(entry.info.user, "admin");
    SetText(entry.info.password, "secret");
    entry.info.http_port = 80;
    entry.protocol = kProtocolText;
    entry.family = 3;
    return entry;
}

// Types `text` character by character, as an input method delivers it.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

struct NetDialog {
    explicit NetDialog(const DeviceEntry& entry) : dialog(language) {
        dialog.SetDevice(entry);
        dialog.show();
    }
    IpAddressEdit* Address(int id) { return FindControl<IpAddressEdit>(&dialog, id); }
    QLineEdit* Edit(int id) { return FindControl<QLineEdit>(&dialog, id); }
    QPushButton* Ok() { return FindControl<QPushButton>(&dialog, IDOK); }

    LanguageX language;  // no pack: the built-in texts
    DlgNetInformation dialog;
};

TEST(DlgNetInformation, ShowsTheDeviceWithUnreadableAddressesBlankAndNeverItsPassword) {
    NetDialog net(TextDevice());
    EXPECT_EQ(net.Address(IDC_IP_ADDRESS)->AddressText(), "10.77.0.30");
    EXPECT_EQ(net.Address(IDC_GATEWAY)->AddressText(), "10.77.0.1");
    EXPECT_TRUE(net.Address(IDC_DNS1)->IsBlank());
    EXPECT_TRUE(net.Address(IDC_DNS2)->IsBlank());
    EXPECT_EQ(net.Edit(IDC_HTTP_PORT)->text(), QStringLiteral("80"));
    EXPECT_EQ(net.Edit(IDC_USER)->text(), QStringLiteral("admin"));
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->text(), QString());
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->echoMode(), QLineEdit::Password);

    // Confirming unchanged values gives a complete record; the blank
    // addresses go out as 0.0.0.0 and the empty password as empty.
    net.Ok()->click();
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    const NetSettings& s = net.dialog.Settings();
    EXPECT_EQ(GetText(s.ip), "10.77.0.30");
    EXPECT_EQ(GetText(s.mask), "255.255.255.0");
    EXPECT_EQ(GetText(s.dns1), "0.0.0.0");
    EXPECT_EQ(GetText(s.dns2), "0.0.0.0");
    EXPECT_EQ(GetText(s.user), "admin");
    EXPECT_EQ(GetText(s.password), "");
    EXPECT_EQ(s.http_port, 80);
    EXPECT_EQ(s.dhcp, 0);
    EXPECT_EQ(s.dns_status, 0);
}

TEST(DlgNetInformation, OkStaysDisabledWhileThePortIsNoPort) {
    NetDialog net(TextDevice());
    QLineEdit* port = net.Edit(IDC_HTTP_PORT);
    for (const char* bad : {"", "0", "65536", "99999", "00000"}) {
        port->setText(QString::fromLatin1(bad));
        EXPECT_FALSE(net.Ok()->isEnabled()) << '"' << bad << '"';
    }
    // Letters cannot be typed into the port at all.
    port->clear();
    QTest::keyClicks(port, QStringLiteral("8a0b8"));
    EXPECT_EQ(port->text(), QStringLiteral("808"));
    EXPECT_TRUE(net.Ok()->isEnabled());
    // Enter confirms like OK, and not while OK is disabled.
    port->setText(QStringLiteral("0"));
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_TRUE(net.dialog.isVisible());
    port->setText(QStringLiteral("65535"));
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(net.dialog.Settings().http_port, 65535);
}

TEST(DlgNetInformation, CredentialsStopAtTheThirtyOneBytesTheRecordHolds) {
    NetDialog net(TextDevice());
    QLineEdit* user = net.Edit(IDC_USER);
    QLineEdit* password = net.Edit(IDC_PASSWORD);
    user->clear();
    // Ten CJK characters are 30 bytes of UTF-8; an eleventh would need 33.
    Type(user, QStringLiteral("管理员管理员管理员管理"));
    EXPECT_EQ(user->text(), QStringLiteral("管理员管理员管理员管"));
    QTest::keyClicks(user, QStringLiteral("x"));  // the 31st byte still fits
    QTest::keyClicks(password, QString(40, QLatin1Char('p')));
    EXPECT_EQ(password->text().size(), 31);

    net.Ok()->click();
    const NetSettings& s = net.dialog.Settings();
    EXPECT_EQ(GetText(s.user), "管理员管理员管理员管x");
    EXPECT_EQ(GetText(s.password), std::string(31, 'p'));
}

TEST(DlgNetInformation, DhcpGreysOutTheAddressesButStillSendsThem) {
    DeviceEntry entry = TextDevice();
    entry.info.dhcp = 1;
    NetDialog net(entry);
    auto* dhcp = FindControl<QCheckBox>(&net.dialog, IDC_DHCP);
    EXPECT_TRUE(dhcp->isChecked());
    EXPECT_FALSE(net.Address(IDC_IP_ADDRESS)->isEnabled());
    EXPECT_FALSE(net.Address(IDC_DNS2)->isEnabled());
    EXPECT_TRUE(net.Edit(IDC_HTTP_PORT)->isEnabled());
    dhcp->click();
    EXPECT_TRUE(net.Address(IDC_IP_ADDRESS)->isEnabled());
    dhcp->click();

    net.Ok()->click();
    EXPECT_EQ(net.dialog.Settings().dhcp, 1);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.30");
}

TEST(DlgBaseInformation, ShowsBothVersionsEvenWhenEmpty) {
    LanguageX language;
    DeviceEntry entry{};
    SetText(entry.info.software_version, "V5.7.74");
    {
        DlgBaseInformation dialog(language);
        dialog.SetDevice(entry);
        dialog.show();
        EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_SYSTEM_VERSION)->text(),
                  QStringLiteral("V5.7.74"));
        // The template's placeholder is replaced in every case.
        EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_APP_VERSION)->text(), QString());
    }
}

TEST(BitmapStatic, LoadsByContentStretchesAndForgetsWhatFailsToLoad) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "quorvex-banner-test";
    std::filesystem::create_directories(dir);
    const QString banner = QString::fromStdString((dir / "mfc100rd.dll").string());
    QImage image(4, 2, QImage::Format_RGB32);  // left half red, right half blue
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) image.setPixelColor(x, y, x < 2 ? Qt::red : Qt::blue);
    }
    ASSERT_TRUE(image.save(banner, "BMP"));

    BitmapStatic control;
    control.resize(200, 30);
    control.LoadFromFile(banner);
    ASSERT_TRUE(control.HasBitmap());
    EXPECT_EQ(control.BitmapWidth(), 4);
    EXPECT_EQ(control.BitmapHeight(), 2);
    // Stretched over the whole control, both ways.
    const QImage drawn = control.grab().toImage();
    EXPECT_EQ(drawn.pixelColor(2, 2), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(197, 27), QColor(Qt::blue));
    EXPECT_EQ(drawn.pixelColor(60, 15), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(140, 15), QColor(Qt::blue));

    // A second image replaces the first.
    QImage green(3, 3, QImage::Format_RGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(green.save(banner, "PNG"));
    control.LoadFromFile(banner);
    EXPECT_EQ(control.BitmapWidth(), 3);
    EXPECT_EQ(control.grab().toImage().pixelColor(100, 15), QColor(Qt::green));

    // Garbage, an empty file and a missing one leave the control empty.
    for (const char* content : {"MZ\x90\x00 not an image", ""}) {
        FILE* file = std::fopen(banner.toLocal8Bit().constData(), "wb");
        std::fputs(content, file);
        std::fclose(file);
        control.LoadFromFile(banner);
        EXPECT_FALSE(control.HasBitmap());
        EXPECT_EQ(control.BitmapWidth(), 0);
    }
    control.LoadFromFile(QString::fromStdString((dir / "missing.dll").string()));
    EXPECT_FALSE(control.HasBitmap());
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvex
