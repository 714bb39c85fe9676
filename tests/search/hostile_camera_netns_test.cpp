// Hostile standard cameras beside a good one, changed in one batch against
// quorvex-sim in a lab: each hostile camera ends with its own typed failure
// within the session's bounds, the client's memory stays far below what they
// send, and the good camera on the same site is moved and confirmed all the
// same.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "search/directed_probe.h"
#include "search/standard_change_batch.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::NetnsLab;
using testing::Simulator;
using Session = StandardCameraSession;
using Kind = Session::FailureKind;
using Transfer = OnvifHttp::Failure;
using Error = OnvifDeviceCodec::Error;

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The plan a search would make for the standard camera at `ip`: moved to `to`.
CameraPlan StandardMove(const std::string& ip, const std::string& to, int index) {
    CameraPlan camera;
    DeviceEntry& entry = camera.device.entry;
    entry.protocol = kProtocolWsDiscovery;
    entry.family = kFamilyWsDiscovery;
    SetText(entry.info.ip, ip);
    SetText(entry.info.mask, "255.255.255.0");
    entry.info.http_port = 8080;
    entry.info.mac[5] = static_cast<std::uint8_t>(index + 1);
    auto wsd = std::make_shared<WsdInfo>();
    SetText(wsd->xaddrs, "http://" + ip + ":8080/onvif/device_service");
    in_addr a{};
    ::inet_pton(AF_INET, ip.c_str(), &a);
    wsd->source_address = a.s_addr;
    // The endpoint reference the camera answers a probe with, as discovery
    // would have heard it: the change is confirmed only under it.
    const auto seen = DirectedProbe::Ask(
        a.s_addr, "", std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ(seen.endpoints.size(), 1u) << ip;
    SetText(wsd->endpoint, seen.endpoints.empty() ? std::string() : seen.endpoints.front());
    camera.device.wsd = std::move(wsd);
    camera.standard = true;
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "pw");
    SetText(settings.ip, to);
    SetText(settings.mask, "255.255.255.0");
    camera.settings = settings;
    return camera;
}

TEST(HostileStandardCameras, EachEndsBoundedWithItsOwnFailureAndTheGoodOneMovesAllTheSame) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) << lab->last_error();
    const std::vector<std::string> behaviours = {"normal",   "huge",    "endless",  "trickle",
                                                 "redirect", "doctype", "bad-utf8", "html-error"};
    std::string list;
    for (const std::string& b : behaviours) list += (list.empty() ? "" : ",") + b;
    std::string why;
    auto sim = Simulator::Start(
        *lab, lab->site_namespace("a"),
        {"--subnet", "10.77.1.", "--first-host", "50", "--password", "pw", "--standard-port",
         "8080", "--standard", std::to_string(behaviours.size()), "--standard-behaviour", list,
         "--standard-auth", "digest", "--standard-move-delay", "200"},
        &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();

    ChangePlan plan;
    for (std::size_t i = 0; i < behaviours.size(); ++i)
        plan.cameras.push_back(StandardMove("10.77.1." + std::to_string(50 + i),
                                            "10.77.1." + std::to_string(70 + i), int(i)));
    // Short enough to keep the test quick; the speed floor well inside the
    // total time, so that a trickle and an answer without end tell apart.
    Session::Options options;
    options.connect_timeout = 3s;
    options.total_timeout = 8s;
    options.slow_for = 3s;
    options.confirm_patience = 20s;

    const long rss_before = PeakRssKb();
    StandardChangeBatch batch(plan, options, behaviours.size());
    // Far above every bound the session sets: this asserts that it ends.
    ASSERT_TRUE(testing::WaitUntil([&] { return batch.Done(); }, 180s));
    const std::vector<StandardChangeOutcome> outcomes = batch.Outcomes();
    ASSERT_EQ(outcomes.size(), behaviours.size());
    // The huge camera offered 100 MB; the cap keeps a quarter of a megabyte a
    // call. About 5 MB of growth here; the bound leaves a sanitizer's shadow
    // and quarantine room and still fails a client that holds the answer.
    EXPECT_LT(PeakRssKb() - rss_before, 64 * 1024);

    const StandardChangeOutcome& good = outcomes[0];
    EXPECT_TRUE(good.confirmed) << int(good.failure.kind) << " " << int(good.failure.transfer);

    struct Expected {
        Kind kind;
        Transfer transfer;
        Error error;
    };
    const Expected expected[] = {
        {},
        {Kind::kUnreachable, Transfer::kTooLarge, Error::kNone},
        {Kind::kUnreachable, Transfer::kTimeout, Error::kNone},
        {Kind::kUnreachable, Transfer::kTooSlow, Error::kNone},
        {Kind::kUnreachable, Transfer::kRedirected, Error::kNone},
        {Kind::kBadAnswer, Transfer::kNone, Error::kDocumentType},
        {Kind::kBadAnswer, Transfer::kNone, Error::kInvalidUtf8},
        {Kind::kBadAnswer, Transfer::kNone, Error::kNotSoap},
    };
    for (std::size_t i = 1; i < behaviours.size(); ++i) {
        const StandardChangeOutcome& o = outcomes[i];
        SCOPED_TRACE(behaviours[i]);
        EXPECT_FALSE(o.confirmed);
        EXPECT_EQ(o.stage, StandardChangeStage::read) << "nothing was sent to it";
        EXPECT_EQ(int(o.failure.kind), int(expected[i].kind));
        EXPECT_EQ(int(o.failure.transfer), int(expected[i].transfer));
        EXPECT_EQ(int(o.failure.error), int(expected[i].error));
    }
    EXPECT_EQ(outcomes[5].failure.operation, OnvifDeviceCodec::Operation::kGetDeviceInformation);
    EXPECT_EQ(outcomes[6].failure.operation, OnvifDeviceCodec::Operation::kGetDeviceInformation);
    EXPECT_EQ(outcomes[7].failure.status, 405);

    // The hostile cameras were asked, and none was asked to change.
    const auto log = sim->ReadLog();
    for (const char* what : {"huge answer", "endless answer", "answered with a doctype",
                             "answered with bad utf-8", "http 302", "http 405"}) {
        bool seen = false;
        for (const auto& d : log) seen = seen || d.result.starts_with(what);
        EXPECT_TRUE(seen) << what;
    }
    for (const auto& d : log) {
        if (d.address != "10.77.1.50" && d.address != "10.77.1.70") {
            EXPECT_FALSE(d.operation.starts_with("Set")) << d.address << " " << d.operation;
        }
    }
    EXPECT_EQ(sim->Stop(), 0) << "the simulator outlived them all";
}

}  // namespace
}  // namespace quorvex
