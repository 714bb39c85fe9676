// The window under a burst of notifications it cannot show in one turn.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <thread>

#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"

namespace quorvex {

static DeviceEntry Camera(int index, const std::string& name) {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x02,
                                 0x00,
                                 0x5E,
                                 static_cast<std::uint8_t>(index >> 16),
                                 static_cast<std::uint8_t>(index >> 8),
                                 static_cast<std::uint8_t>(index)};
    std::copy(std::begin(mac), std::end(mac), entry.info.mac);
    SetText(entry.info.name, (name + " " + std::to_string(index)).c_str());
    SetText(entry.info.ip, "10.77.0.40");
    entry.info.http_port = 80;
    entry.family = 1;
    entry.protocol = kProtocolBinary;
    return entry;
}

TEST(CQuorvexDlgBatch, ABurstLargerThanOneTurnGivesEachDeviceOneRowWithItsLatestContents) {
    testing::StagedApp stage;
    CQuorvexApp app;
    app.LoadCurrentLanguage();
    CQuorvexDlg window(app);
    window.show();
    QApplication::processEvents();

    // From another thread, as the worker delivers, while the window's loop
    // waits. The first hundred change before the window showed them; the
    // next hundred after all the others came.
    constexpr int kDevices = 20000, kRenamed = 200;
    std::thread worker([&] {
        for (int i = 0; i < kDevices; ++i) {
            window.Search().OnDeviceFound(Camera(i, "Camera"));
            if (i < kRenamed / 2) window.Search().OnDeviceFound(Camera(i, "Renamed"));
        }
        for (int i = kRenamed / 2; i < kRenamed; ++i)
            window.Search().OnDeviceFound(Camera(i, "Renamed"));
    });
    worker.join();

    DeviceListModel& model = window.Model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() >= kDevices; }, 60000));
    QApplication::processEvents();
    ASSERT_EQ(model.rowCount(), kDevices);
    // In arrival order, each with the values it was last handed over with.
    for (int row = 0; row < kDevices; ++row) {
        const DeviceEntry expected = Camera(row, row < kRenamed ? "Renamed" : "Camera");
        ASSERT_EQ(model.Cell(row, 1).toStdString(), GetText(expected.info.name)) << row;
        ASSERT_EQ(model.Cell(row, 6).toStdString(), DeviceKey(expected.info)) << row;
    }
}

}  // namespace quorvex
