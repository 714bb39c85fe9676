// The window under a large site's notifications, on the offscreen platform:
// a thread plays the search worker and delivers 10,000 new devices through
// the manager's own entry point, so that every notification takes the real
// road (queued call, table lookup, row insert, cells) to the shown list.
//
// Prints one line per shape:
//   window <shape> <devices> <ui_cpu_ms> <wall_ms> <longest_stall_ms>
//          <longest_busy_stall_ms> <bytes_per_device>
//
// With --large, a site of 65,536 devices instead, one line per figure:
//   large <figure> <value> <unit>
// the resident memory with the list full; the time of a sort by address and
// by firmware version; the longest event-loop stall while a filter is typed
// and erased one key at a time; and the longest stall while a burst of
// 10,000 answers (new addresses for listed devices, in the manager's batches)
// arrives with the list sorted by address.

#include <sched.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "config/app_path.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"

#ifndef QUORVEX_DATA_DIR
#define QUORVEX_DATA_DIR "data"
#endif

namespace quorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The shipped configuration and English pack, searching on an interface no
// machine has, so that the window's own manager sends nothing.
std::filesystem::path StageStartupDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvx-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    const std::filesystem::path dir = pattern;
    const std::filesystem::path data = QUORVEX_DATA_DIR;
    std::filesystem::create_directories(dir / "Language");
    std::filesystem::copy_file(data / "Language" / "english.xml", dir / "Language" / "english.xml");
    std::ofstream(dir / "config.xml") << R"(<?xml version="1.0" encoding="utf-8"?>
<config>
	<language>English</language>
	<languagelist><language><text>English</text><file>english.xml</file></language></languagelist>
	<search_interval>30</search_interval>
	<match_address><min>10</min><max>253</max></match_address>
	<interfaces><interface>qvx-none0</interface></interfaces>
</config>
)";
    return dir;
}

std::vector<DeviceEntry> Devices(int count, int generation) {
    std::vector<DeviceEntry> devices(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        DeviceEntry& e = devices[static_cast<std::size_t>(i)];
        const std::uint8_t mac[6] = {0x02,
                                     static_cast<std::uint8_t>(generation),
                                     0x2B,
                                     static_cast<std::uint8_t>(i >> 16),
                                     static_cast<std::uint8_t>(i >> 8),
                                     static_cast<std::uint8_t>(i)};
        std::copy(std::begin(mac), std::end(mac), e.info.mac);
        char text[64];
        std::snprintf(text, sizeof text, "Camera %05d", i + 1);
        SetText(e.info.name, text);
        std::snprintf(text, sizeof text, "10.78.%d.%d", (i / 250) % 250, 1 + i % 250);
        SetText(e.info.ip, text);
        std::snprintf(text, sizeof text, "QVX02%02X2B%06X", generation, i);
        SetText(e.info.uid, text);
        SetText(e.info.software_version, "V5.3.41");
        SetText(e.info.web_version, "3.7.12");
        SetText(e.info.mask, "255.255.0.0");
        e.info.http_port = 80;
        e.family = 1 + i % 3;
        e.protocol = e.family == 3 ? kProtocolText : kProtocolBinary;
        e.interface_address = 0x01014D0Au;
    }
    return devices;
}

struct Figures {
    double ui_cpu_ms = 0;
    double wall_ms = 0;
    double longest_stall_ms = 0;
    double longest_busy_ms = 0;
    double bytes_per_device = 0;
    int rows = 0;
};

// Delivers `devices` from a worker thread, all at once (`spread` 0) or evenly
// over `spread`, and runs the window's event loop until every row is shown.
Figures Run(CQuorvexDlg& window, const std::vector<DeviceEntry>& devices,
            std::chrono::milliseconds spread) {
    QApplication::processEvents();
    const std::uint64_t resident_before = ResidentBytes();
    const int rows_before = window.Model().rowCount();
    const int wanted = rows_before + static_cast<int>(devices.size());

    // The ticks of a 1 ms timer: a gap between two is a stall of the loop.
    // On a shared machine part of a gap can be other processes' turn; the
    // thread's own CPU time within the gap is the window's part of it.
    double longest = 0;
    double longest_busy = 0;
    Clock::time_point last_tick = Clock::now();
    double last_cpu = ThreadCpuSeconds();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        const double cpu = ThreadCpuSeconds();
        longest =
            std::max(longest, std::chrono::duration<double, std::milli>(now - last_tick).count());
        longest_busy = std::max(longest_busy, (cpu - last_cpu) * 1000);
        last_tick = now;
        last_cpu = cpu;
    });
    ticker.start();
    QApplication::processEvents();
    last_tick = Clock::now();
    last_cpu = ThreadCpuSeconds();

    const double cpu_before = ThreadCpuSeconds();
    const Clock::time_point started = Clock::now();
    std::thread worker([&] {
        const auto step = std::chrono::duration_cast<std::chrono::microseconds>(spread) /
                          static_cast<int>(devices.size());
        Clock::time_point next = Clock::now();
        for (const DeviceEntry& entry : devices) {
            if (spread.count() > 0) {
                next += step;
                std::this_thread::sleep_until(next);
            }
            window.Search().OnDeviceFound(entry);
        }
    });
    // The loop runs as the program's would; it is only looked at between turns.
    while (window.Model().rowCount() < wanted &&
           Clock::now() - started < std::chrono::seconds(120)) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    worker.join();
    // The rows are shown once the view has painted them.
    window.DeviceList()->viewport()->repaint();
    QApplication::processEvents();
    const Clock::time_point finished = Clock::now();
    const double cpu_after = ThreadCpuSeconds();
    ticker.stop();

    Figures f;
    f.rows = window.Model().rowCount() - rows_before;
    f.ui_cpu_ms = (cpu_after - cpu_before) * 1000;
    f.wall_ms = std::chrono::duration<double, std::milli>(finished - started).count();
    f.longest_stall_ms = longest;
    f.longest_busy_ms = longest_busy;
    f.bytes_per_device =
        f.rows > 0 ? static_cast<double>(ResidentBytes() - resident_before) / f.rows : 0;
    return f;
}

// A 1 ms timer's ticks: the longest gap between two is the longest stall.
class StallMeter {
public:
    StallMeter() {
        ticker_.setTimerType(Qt::PreciseTimer);
        ticker_.setInterval(1);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        longest_ = 0;
        last_ = Clock::now();
        ticker_.start();
        QApplication::processEvents();
        last_ = Clock::now();
    }
    double Stop() {
        Tick();
        ticker_.stop();
        return longest_;
    }

private:
    void Tick() {
        const Clock::time_point now = Clock::now();
        longest_ =
            std::max(longest_, std::chrono::duration<double, std::milli>(now - last_).count());
        last_ = now;
    }
    QTimer ticker_;
    Clock::time_point last_;
    double longest_ = 0;
};

std::vector<DeviceUpdate> Updates(const std::vector<DeviceEntry>& entries) {
    std::vector<DeviceUpdate> updates(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        updates[i].entry = entries[i];
        char text[32];
        std::snprintf(text, sizeof text, "V5.%zu.%zu", i % 13, i % 97);
        SetText(updates[i].entry.info.software_version, text);
        updates[i].last_heard_ms = 1'700'000'000'000;
    }
    return updates;
}

// Hands `updates` over from a worker thread in the manager's batch size and
// runs the loop until the window has taken them all in.
void Deliver(CQuorvexDlg& window, const std::vector<DeviceUpdate>& updates, std::size_t batch) {
    std::thread worker([&] {
        for (std::size_t i = 0; i < updates.size(); i += batch) {
            window.ReceiveUpdates(std::vector<DeviceUpdate>(
                updates.begin() + static_cast<std::ptrdiff_t>(i),
                updates.begin() +
                    static_cast<std::ptrdiff_t>(std::min(updates.size(), i + batch))));
        }
    });
    const auto settled = [&] {
        const DeviceUpdate& last = updates.back();
        const int row = window.Model().RowOf(DeviceKey(last.entry.info));
        return row >= 0 &&
               GetText(window.Model().Device(row)->entry.info.ip) == GetText(last.entry.info.ip);
    };
    while (!settled()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    QApplication::processEvents();
}

int Large(CQuorvexDlg& window) {
    constexpr int kDevices = 65536, kBurst = 10000;
    constexpr std::size_t kBatch = 1000;
    auto report = [](const char* figure, double value, const char* unit) {
        std::printf("large\t%s\t%.1f\t%s\n", figure, value, unit);
        std::fflush(stdout);
    };
    std::vector<DeviceUpdate> site = Updates(Devices(kDevices, 1));
    for (std::size_t i = 0; i < site.size(); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "10.%zu.%zu.%zu", 80 + i / 65025, (i / 255) % 255,
                      1 + i % 254);
        SetText(site[i].entry.info.ip, text);
    }
    Deliver(window, site, kBatch);
    window.DeviceList()->viewport()->repaint();
    QApplication::processEvents();
    if (window.Model().rowCount() != kDevices) return 1;
    // The benchmark's own copies go before the window's memory is read.
    site.resize(kBurst);
    site.shrink_to_fit();
    report("resident_memory", static_cast<double>(ResidentBytes()) / (1024 * 1024), "MiB");

    for (const auto& [figure, column] :
         {std::pair{"sort_by_address", int{DeviceListModel::kAddress}},
          std::pair{"sort_by_version", int{DeviceListModel::kSystemVersion}},
          std::pair{"sort_by_name", int{DeviceListModel::kName}}}) {
        const Clock::time_point t0 = Clock::now();
        window.DeviceList()->sortByColumn(column, Qt::DescendingOrder);
        window.DeviceList()->viewport()->repaint();
        report(figure, std::chrono::duration<double, std::milli>(Clock::now() - t0).count(), "ms");
    }

    // Typed and erased one key at a time, each key followed by the loop's turn.
    window.DeviceList()->sortByColumn(DeviceListModel::kAddress, Qt::AscendingOrder);
    QLineEdit* filter = window.FilterBox();
    StallMeter meter;
    meter.Start();
    const QString typed = QStringLiteral("camera 0421");
    for (const QChar c : typed) {
        filter->insert(QString(c));
        QApplication::processEvents();
    }
    for (int i = 0; i < typed.size(); ++i) {
        filter->backspace();
        QApplication::processEvents();
    }
    report("filter_typing_longest_stall", meter.Stop(), "ms");

    // 10,000 listed devices answer with new addresses, sorted by address.
    std::vector<DeviceUpdate> burst(site.begin(), site.begin() + kBurst);
    for (std::size_t i = 0; i < burst.size(); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "10.99.%zu.%zu", i / 250, 1 + i % 250);
        SetText(burst[i].entry.info.ip, text);
    }
    meter.Start();
    const Clock::time_point t0 = Clock::now();
    Deliver(window, burst, kBatch);
    window.DeviceList()->viewport()->repaint();
    QApplication::processEvents();
    const double burst_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    report("burst_sorted_longest_stall", meter.Stop(), "ms");
    report("burst_sorted_total", burst_ms, "ms");
    report("resident_memory_after", static_cast<double>(ResidentBytes()) / (1024 * 1024), "MiB");
    return 0;
}

int Main(int argc, char** argv) {
    // Guard: the window starts a search manager; it must not find a real
    // interface, so the process moves into an empty namespace when it may.
    if (::geteuid() == 0) ::unshare(CLONE_NEWNET);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int devices = 10000;
    bool large = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--large") large = true;
        if (std::string(argv[i]) == "--devices" && i + 1 < argc)
            devices = std::clamp(std::atoi(argv[i + 1]), 1, 60000);
    }

    int qt_argc = 1;
    char name[] = "window_bench";
    char* qt_argv[] = {name, nullptr};
    QApplication application(qt_argc, qt_argv);
    // The window remembers its view per user; not the benchmark's.
    QStandardPaths::setTestModeEnabled(true);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);

    const std::filesystem::path dir = StageStartupDirectory();
    if (dir.empty()) {
        std::cerr << "window_bench: no scratch directory\n";
        return 1;
    }
    SetStartupDirectory(dir);
    int status = 0;
    {
        CQuorvexApp app;
        app.LoadCurrentLanguage();
        CQuorvexDlg window(app);
        window.show();
        for (int i = 0; i < 20; ++i) QApplication::processEvents();

        if (large) {
            status = Large(window);
        } else {
            struct Shape {
                const char* name;
                std::chrono::milliseconds spread;
            };
            int generation = 1;
            for (const Shape shape : {Shape{"burst", std::chrono::milliseconds(0)},
                                      Shape{"spread", std::chrono::milliseconds(200)}}) {
                window.Search().ClearDevices();
                window.Model().RemoveAllRows();
                const Figures f = Run(window, Devices(devices, generation++), shape.spread);
                std::printf("window\t%s\t%d\t%.1f\t%.1f\t%.1f\t%.1f\t%.0f\n", shape.name, f.rows,
                            f.ui_cpu_ms, f.wall_ms, f.longest_stall_ms, f.longest_busy_ms,
                            f.bytes_per_device);
                std::fflush(stdout);
                if (f.rows != devices) status = 1;
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    return quorvex::bench::Main(argc, argv);
}
