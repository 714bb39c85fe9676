// The window under a burst of notifications that it cannot show in one turn:
// every device still gets exactly one row, in the order it was first
// notified, with its latest contents, and the manager's table knows each
// row.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <thread>

#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"

namespace quorvex {
namespace {

using testing::PumpUntil;
using testing::StagedApp;

DeviceEntry Camera(int index, const char* name_prefix) {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x02,
                                 0x00,
                                 0x5E,
                                 static_cast<std::uint8_t>(index >> 16),
                                 static_cast<std::uint8_t>(index >> 8),
                                 static_cast<std::uint8_t>(index)};
    std::copy(std::begin(mac), std::end(mac), entry.info.mac);
    char name[32];
    std::snprintf(name, sizeof name, "%s %d", name_prefix, index);
    SetText(entry.info.name, name);
    SetText(entry.info.ip, "10.77.0.40");
    entry.info.http_port = 80;
    entry.family = 1;
    entry.protocol = kProtocolBinary;
    return entry;
}

TEST(CQuorvexDlgBatch, ABurstLargerThanOneTurnGivesEachDeviceOneRowWithItsLatestContents) {
    StagedApp stage;
    CQuorvexApp app;
    app.LoadCurrentLanguage();
    CQuorvexDlg window(app);
    window.show();
    QApplication::processEvents();

    // Delivered from another thread, as the worker does, while the window's
    // loop is not running: everything is waiting when it next turns. The
    // first hundred devices change at once, before the window has shown
    // them; the next hundred change after all the others came.
    constexpr int kDevices = 20000;
    constexpr int kRenamed = 200;
    std::thread worker([&] {
        for (int i = 0; i < kDevices; ++i) {
            window.Search().OnDeviceFound(Camera(i, "Camera"));
            if (i < kRenamed / 2) window.Search().OnDeviceFound(Camera(i, "Renamed"));
        }
        for (int i = kRenamed / 2; i < kRenamed; ++i) {
            window.Search().OnDeviceFound(Camera(i, "Renamed"));
        }
    });
    worker.join();

    DeviceListModel& model = window.Model();
    ASSERT_TRUE(PumpUntil([&] { return model.rowCount() >= kDevices; }, std::chrono::seconds(60)));
    QApplication::processEvents();
    ASSERT_EQ(model.rowCount(), kDevices);
    for (int row = 0; row < kDevices; ++row) {
        const DeviceEntry expected = Camera(row, row < kRenamed ? "Renamed" : "Camera");
        ASSERT_EQ(model.Cell(row, 1).toStdString(), std::string(GetText(expected.info.name)))
            << "row " << row;
        const std::string key = model.Cell(row, 6).toStdString();
        ASSERT_EQ(key, DeviceKey(expected.info)) << "row " << row;
        DeviceEntry stored{};
        ASSERT_TRUE(window.Search().GetDevice(key, stored));
        ASSERT_EQ(stored.row, row);
    }
}

}  // namespace
}  // namespace quorvex
