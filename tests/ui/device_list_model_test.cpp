// The device list as values: typed sorting, the filter, the marks and what
// device texts may not do on screen.
#include "ui/device_list_model.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QSignalSpy>
#include <cstring>

#include "ui/device_export.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/record_text.h"

namespace quorvex {
namespace {

DeviceUpdate Camera(int index, const char* ip, const char* version = "V1.0",
                    const char* name = nullptr) {
    DeviceUpdate update;
    DeviceEntry& e = update.entry;
    const std::uint8_t mac[6] = {0x02, 0x00, 0x5E, 0x00, 0x00, static_cast<std::uint8_t>(index)};
    std::copy(std::begin(mac), std::end(mac), e.info.mac);
    SetText(e.info.name, name != nullptr ? std::string(name) : "Cam " + std::to_string(index));
    SetText(e.info.ip, ip);
    SetText(e.info.mask, "255.255.255.0");
    SetText(e.info.software_version, version);
    e.info.http_port = 80;
    e.family = 3;
    e.protocol = kProtocolText;
    update.last_heard_ms = 1'700'000'000'000;
    return update;
}

struct List {
    List() : proxy(&model) {
        for (int i = 0; i < 7; ++i) model.AppendColumn(QStringLiteral("c%1").arg(i));
        DeviceListModel::Texts texts;
        texts.outside = QStringLiteral("%1 outside");
        texts.own_address = QStringLiteral("Own %1 mask %2");
        texts.silent = QStringLiteral("Silent since %1");
        texts.duplicate = QStringLiteral("Duplicate");
        texts.host_conflict = QStringLiteral("Host");
        texts.not_confirmed = QStringLiteral("Not confirmed: %1");
        model.SetTexts(texts);
    }
    QStringList Column(int column) const {
        QStringList cells;
        for (int row = 0; row < proxy.rowCount(); ++row)
            cells << proxy.index(row, column).data().toString();
        return cells;
    }
    bool Conflict(int index) const {
        const int row = model.RowOf(DeviceKey(Camera(index, "").entry.info));
        return model.InConflict(row) &&
               model.data(model.index(row, 1), Qt::BackgroundRole).value<QColor>().isValid();
    }
    DeviceListModel model;
    DeviceSortFilterProxy proxy;
};

TEST(DeviceList, SortsAddressesAsNumbersAndVersionsByTheirNumbers) {
    List list;
    list.model.ApplyUpdates({Camera(1, "10.0.0.9", "V5.10.2"), Camera(2, "10.0.0.10", "V5.9.30"),
                             Camera(3, "9.255.255.255", "V5.10.10"),
                             Camera(4, "10.0.0.100", "V5.9.4"), Camera(5, "not an ip", "beta")});
    list.proxy.sort(DeviceListModel::kAddress, Qt::AscendingOrder);
    EXPECT_EQ(list.Column(DeviceListModel::kAddress),
              (QStringList{"not an ip:80", "9.255.255.255:80", "10.0.0.9:80", "10.0.0.10:80",
                           "10.0.0.100:80"}));
    list.proxy.sort(DeviceListModel::kSystemVersion, Qt::DescendingOrder);
    EXPECT_EQ(list.Column(DeviceListModel::kSystemVersion),
              (QStringList{"V5.10.10", "V5.10.2", "V5.9.30", "V5.9.4", "beta"}));
    // The typed values the proxy sorts by; names fold case.
    EXPECT_EQ(list.model.SortValue(0, DeviceListModel::kAddress).numbers,
              (std::vector<std::int64_t>{0x0A000009, 80}));
    EXPECT_EQ(list.model.SortValue(0, DeviceListModel::kSystemVersion).numbers,
              (std::vector<std::int64_t>{5, 10, 2}));
    EXPECT_EQ(list.model.SortValue(0, DeviceListModel::kName).text, "cam 1");
    // A device that answers with a new address moves to its new place.
    list.proxy.sort(DeviceListModel::kAddress, Qt::AscendingOrder);
    list.model.ApplyUpdates({Camera(5, "10.0.0.200")});
    EXPECT_EQ(list.Column(DeviceListModel::kAddress).last(), QStringLiteral("10.0.0.200:80"));
    EXPECT_EQ(list.model.rowCount(), 5);
}

TEST(DeviceList, FilterMatchesAnyShownColumnIgnoringCase) {
    List list;
    list.model.ApplyUpdates({Camera(1, "10.0.0.9", "V5.1", "Gate North"),
                             Camera(2, "10.0.0.10", "V6.2", "Lobby"),
                             Camera(3, "192.168.0.5", "V5.1", "Yard")});
    list.proxy.SetFilterText(QStringLiteral("north"));
    EXPECT_EQ(list.Column(1), QStringList{"Gate North"});
    list.proxy.SetFilterText(QStringLiteral("V5.1"));
    EXPECT_EQ(list.proxy.rowCount(), 2);
    list.proxy.SetFilterText(QStringLiteral("00-00-02"));  // the MAC column
    EXPECT_EQ(list.Column(1), QStringList{"Lobby"});
    list.proxy.SetFilterText(QStringLiteral("10.0.0.1"));  // prefix of 10.0.0.10
    EXPECT_EQ(list.Column(1), QStringList{"Lobby"});
    // The outside cell is matched by what it shows.
    DeviceUpdate yard = Camera(3, "192.168.0.5", "V5.1", "Yard");
    yard.outside_subnet = true;
    list.model.ApplyUpdates({yard});
    list.proxy.SetFilterText(QStringLiteral("outside"));
    EXPECT_EQ(list.Column(1), QStringList{"Yard"});
    list.proxy.SetFilterText(QStringLiteral("192.168.0.5"));  // and by its address
    EXPECT_EQ(list.Column(1), QStringList{"Yard"});
    list.proxy.SetFilterText(QString());
    EXPECT_EQ(list.proxy.rowCount(), 3);
}

TEST(DeviceList, MarksConflictsSilenceAndOutsideCamerasOwnAddress) {
    List list;
    list.model.ApplyUpdates({Camera(1, "10.0.0.9"), Camera(2, "10.0.0.9"), Camera(3, "10.0.0.1"),
                             Camera(4, "10.0.0.20")});
    EXPECT_TRUE(list.Conflict(1));
    EXPECT_TRUE(list.Conflict(2));
    EXPECT_FALSE(list.Conflict(3));
    std::uint32_t pc = 0;
    ASSERT_TRUE(ParseAddress("10.0.0.1", pc));
    list.model.SetHostAddresses({pc});  // the PC's own address
    EXPECT_TRUE(list.Conflict(3));
    EXPECT_EQ(list.model.Count().conflicts, 3);

    // One of the pair moves away: neither is in conflict any more.
    list.model.ApplyUpdates({Camera(2, "10.0.0.30")});
    EXPECT_FALSE(list.Conflict(1));
    EXPECT_FALSE(list.Conflict(2));

    // A device the search calls silent is greyed, says when it was last
    // heard, and no longer holds its address against another.
    DeviceUpdate gone = Camera(4, "10.0.0.20");
    gone.missed_searches = 3;
    gone.answering = false;
    list.model.ApplyUpdates({gone, Camera(5, "10.0.0.20")});
    const int row = list.model.RowOf(DeviceKey(gone.entry.info));
    EXPECT_TRUE(list.model.data(list.model.index(row, 1), Qt::ForegroundRole).isValid());
    EXPECT_TRUE(list.model.data(list.model.index(row, 1), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("Silent since")));
    EXPECT_FALSE(list.Conflict(5));
    EXPECT_EQ(list.model.Count().silent, 1);
    // Its next answer clears the mark.
    list.model.ApplyUpdates({Camera(4, "10.0.0.20")});
    EXPECT_FALSE(list.model.data(list.model.index(row, 1), Qt::ForegroundRole).isValid());
    EXPECT_EQ(list.model.Count().silent, 0);
    EXPECT_TRUE(list.Conflict(5));

    DeviceUpdate outside = Camera(6, "192.168.0.50");
    outside.outside_subnet = true;
    list.model.ApplyUpdates({outside});
    const int at = list.model.RowOf(DeviceKey(outside.entry.info));
    EXPECT_EQ(list.model.Cell(at, DeviceListModel::kAddress),
              QStringLiteral("192.168.0.50 outside"));
    EXPECT_TRUE(list.model.data(list.model.index(at, DeviceListModel::kAddress), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("Own 192.168.0.50 mask 255.255.255.0")));
    EXPECT_EQ(list.model.Count().outside, 1);
    EXPECT_EQ(list.model.Count().total, 6);

    // A change's mark is kept per camera: emptying the list (a refresh)
    // keeps it, and it is counted until cleared.
    const std::string key = DeviceKey(outside.entry.info);
    EXPECT_TRUE(list.model.SetChangeState(key, ChangeState::kNotConfirmed, "gone"));
    EXPECT_FALSE(list.model.SetChangeState("00-00-00-00-00-00", ChangeState::kPending));
    list.model.RemoveAllRows();
    EXPECT_FALSE(list.model.data(list.model.index(0, 1)).isValid());
    EXPECT_EQ(list.model.RowOf(key), -1);
    list.model.ApplyUpdates({outside});
    EXPECT_EQ(list.model.ChangeStateOf(0), ChangeState::kNotConfirmed);
    EXPECT_TRUE(list.model.data(list.model.index(0, 1), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("gone")));
    EXPECT_EQ(list.model.Count().not_confirmed, 1);
    EXPECT_EQ(list.model.Count().pending, 1);
    list.model.ClearChangeStates();
    EXPECT_EQ(list.model.ChangeStateOf(0), ChangeState::kNone);
    EXPECT_EQ(list.model.Count().pending, 0);
}

// A camera listed under its WS-Discovery key until a read told its MAC: the
// old row goes, and a change followed under the old key marks the new row.
TEST(DeviceList, ARowReplacedByTheMacItsReadToldCarriesItsChangeMark) {
    List list;
    DeviceUpdate heard = Camera(7, "10.0.0.40");
    std::fill(std::begin(heard.entry.info.mac), std::end(heard.entry.info.mac), 0);
    heard.entry.protocol = kProtocolWsDiscovery;
    // Without a MAC it keys by its endpoint reference and sender.
    auto wsd = std::make_shared<WsdInfo>();
    SetText(wsd->endpoint, "urn:uuid:cam-7");
    ASSERT_TRUE(ParseAddress("10.0.0.40", wsd->source_address));
    heard.wsd = wsd;
    const std::string heard_key = TableKeyText(TableKey(heard));
    list.model.ApplyUpdates({Camera(1, "10.0.0.2"), heard, Camera(3, "10.0.0.3")});
    ASSERT_EQ(list.model.rowCount(), 3);
    EXPECT_TRUE(list.model.SetChangeState(heard_key, ChangeState::kPending, "reading"));

    DeviceUpdate read = Camera(7, "10.0.0.41");
    read.replaces = {TableKey(heard)};
    list.model.ApplyUpdates({read});
    EXPECT_EQ(list.model.rowCount(), 3);
    const int row = list.model.RowOf(DeviceKey(read.entry.info));
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.model.RowOf(heard_key), row);
    EXPECT_EQ(list.model.ChangeStateOf(row), ChangeState::kPending);
    EXPECT_TRUE(list.model.SetChangeState(heard_key, ChangeState::kConfirmed));
    EXPECT_EQ(list.model.ChangeStateOf(row), ChangeState::kConfirmed);
    EXPECT_EQ(list.model.Count().confirmed, 1);
    // The rows behind the removed one are still found under their keys.
    EXPECT_EQ(list.model.Cell(list.model.RowOf(DeviceKey(Camera(3, "").entry.info)),
                              DeviceListModel::kAddress),
              QStringLiteral("10.0.0.3:80"));
}

TEST(DeviceText, NeitherReordersNorEndsInHalfACharacter) {
    // U+202E (right-to-left override) would show "gnp.exe" as "exe.png".
    EXPECT_EQ(DeviceText("\xE2\x80\xAEgnp.exe"), QStringLiteral("gnp.exe"));
    EXPECT_EQ(DeviceText("a\tb\x1B[2Jc\xE2\x81\xA6"
                         "d\xC2\x85"),
              QStringLiteral("ab[2Jcd"));
    // 27 three-byte characters and two bytes of a 28th, cut by a field.
    std::string cut;
    for (int i = 0; i < 27; ++i) cut += "\xE6\x91\x84";
    const QString whole = DeviceText(cut);
    EXPECT_EQ(DeviceText(cut + "\xE6\x91"), whole);
    EXPECT_EQ(DeviceText(cut + "\xE6"), whole);
    EXPECT_FALSE(whole.contains(QChar(0xFFFD)));
    EXPECT_EQ(DeviceText("caf\xC3\xA9"), QStringLiteral("café"));  // whole ones stay
    // And in the list: a name holding the override shows without it.
    List list;
    list.model.ApplyUpdates({Camera(1, "10.0.0.9", "V1", "\xE2\x80\xAEgnp.exe")});
    EXPECT_EQ(list.model.Cell(0, DeviceListModel::kName), QStringLiteral("gnp.exe"));
    // A binary name of 80 bytes runs on from `name` into `reserved`: 26
    // three-byte characters and two bytes of a 27th. The list, its sort and
    // the export show the 26 whole ones.
    DeviceUpdate long_name = Camera(2, "10.0.0.10");
    std::string bytes;
    for (int i = 0; i < 26; ++i) bytes += "\xE6\x91\x84";
    const std::string cut_name = bytes + "\xE6\x91";
    std::memcpy(long_name.entry.info.name, cut_name.data(), sizeof long_name.entry.info.name);
    std::memcpy(long_name.entry.info.reserved, cut_name.data() + 64, cut_name.size() - 64);
    list.model.ApplyUpdates({long_name});
    EXPECT_EQ(list.model.Cell(1, DeviceListModel::kName), QString::fromStdString(bytes));
    EXPECT_EQ(list.model.SortValue(1, DeviceListModel::kName).text, bytes);
    const std::string csv = ExportDevices({long_name}, {}, ExportFormat::kCsv);
    EXPECT_NE(csv.find(bytes), std::string::npos) << csv;
    EXPECT_EQ(csv.find(cut_name), std::string::npos);
    EXPECT_EQ(csv.find("\xEF\xBF\xBD"), std::string::npos);  // no U+FFFD
}

}  // namespace
}  // namespace quorvex
