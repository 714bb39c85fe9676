// The standard camera session against quorvex-sim's standard cameras over
// real HTTP in a lab: read, moved, confirmed at the new address by a probe
// and a read-back, and every way a camera can refuse, revert or fault.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "search/directed_probe.h"
#include "search/search_business.h"
#include "search/standard_camera_session.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::NetnsLab;
using testing::Simulator;
using Session = StandardCameraSession;

std::uint32_t Ip(const std::string& dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted.c_str(), &a);
    return a.s_addr;
}

const StandardCredentials kRight{"admin", "pw"};
const StandardCredentials kWrong{"admin", "not-the-password"};

// Cameras from 10.77.1.50 on, one per behaviour, their device service on
// 8080, their MAC in no WS-Discovery scope. `pc_if`, when given, gets the
// PC's interface.
std::unique_ptr<Simulator> StartCameras(NetnsLab& lab, const std::string& behaviours,
                                        const std::string& auths, int count,
                                        bool time_needs_auth = false,
                                        std::string* pc_if = nullptr) {
    const std::string interface = lab.AddSite("a", "10.77.1.1/24", "10.77.1.2/24");
    if (interface.empty()) return nullptr;
    if (pc_if) *pc_if = interface;
    std::string why;
    std::vector<std::string> args = {"--subnet",
                                     "10.77.1.",
                                     "--first-host",
                                     "50",
                                     "--password",
                                     "pw",
                                     "--standard-port",
                                     "8080",
                                     "--standard",
                                     std::to_string(count),
                                     "--standard-behaviour",
                                     behaviours,
                                     "--standard-auth",
                                     auths,
                                     "--standard-clock-offset",
                                     "259200",
                                     "--standard-move-delay",
                                     "200",
                                     "--standard-no-mac-scope"};
    if (time_needs_auth) args.push_back("--standard-time-needs-auth");
    auto sim = Simulator::Start(lab, lab.site_namespace("a"), args, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

// Where discovery would have found camera `host`: a link-local URL first, as
// some firmwares announce it, and the endpoint reference the camera answers
// a probe with.
Session::Target At(const std::string& host) {
    const auto seen = DirectedProbe::Ask(Ip(host), "", std::chrono::steady_clock::now() + 10s);
    EXPECT_EQ(seen.endpoints.size(), 1u) << host;
    return {"http://169.254.77.1:8080/onvif/device_service http://" + host +
                ":8080/onvif/device_service",
            Ip(host), seen.endpoints.empty() ? "" : seen.endpoints.front(), std::nullopt};
}

Session ShortSession() {
    Session::Options options;
    options.confirm_patience = 20s;
    return Session(options);
}

// Reads, applies and confirms a move to `to`/24; expects each step to pass
// and the confirmation to find `found`. The read goes into `book` if given.
void MoveAndConfirm(const Session& session, const std::string& from, const std::string& to,
                    Session::ApplyOutcome expected,
                    Session::Finding found = Session::Finding::kConfirmed,
                    StandardCameraBook* book = nullptr) {
    const auto read = session.Read(At(from), kRight);
    ASSERT_TRUE(read.snapshot) << int(read.failure.kind);
    if (book) book->Remember(*read.snapshot);
    EXPECT_EQ(read.snapshot->address, Ip(from));
    EXPECT_EQ(read.snapshot->prefix_length, 24);
    StandardWanted wanted;
    wanted.address = Ip(to);
    wanted.prefix_length = 24;
    const auto applied = session.Apply(*read.snapshot, wanted, kRight);
    ASSERT_EQ(applied.outcome, expected) << int(applied.failure.kind);
    const auto confirmed = session.Confirm(*read.snapshot, applied, Ip(to), kRight);
    EXPECT_EQ(confirmed.finding, found) << int(confirmed.failure.kind) << int(confirmed.mismatch);
    EXPECT_EQ(confirmed.confirmed, found == Session::Finding::kConfirmed);
}

TEST(StandardCameraSessionMove, DigestTokenOnAFarClockAndRebootNeededAreMovedAndConfirmed) {
    QUORVEX_LAB_OR_SKIP(lab);
    // These cameras keep even their clock from callers without credentials.
    std::string pc_if;
    auto sim = StartCameras(*lab, "normal,normal,reboot-needed,new-endpoint",
                            "digest,token,digest,digest", 4, true, &pc_if);
    ASSERT_TRUE(sim);
    lab->EnterPc();
    const Session session = ShortSession();
    // The search hears the cameras by WS-Discovery alone, which names no MAC.
    SearchBusiness search(SearchBusiness::MakeProtocols({kProtocolWsDiscovery}));
    search.SetSearchInterval(3600);
    search.SetInterfaceNames({pc_if});
    ASSERT_TRUE(search.Start());
    const std::string first = At("10.77.1.50").endpoint_reference;
    const auto rows_of_first = [&] {
        std::vector<DeviceUpdate> rows = search.CopyUpdates();
        std::erase_if(rows, [&](const DeviceUpdate& u) {
            return !u.wsd || GetText(u.wsd->endpoint) != first;
        });
        return rows;
    };
    ASSERT_TRUE(testing::WaitUntil([&] { return rows_of_first().size() == 1; }, 20s));

    // Digest: the snapshot holds what the camera told, from the answering URL.
    const auto read = session.Read(At("10.77.1.50"), kRight);
    ASSERT_TRUE(read.snapshot) << int(read.failure.kind);
    EXPECT_EQ(read.snapshot->auth, StandardAuthMethod::kDigest);
    EXPECT_EQ(read.snapshot->service_url, "http://10.77.1.50:8080/onvif/device_service");
    EXPECT_TRUE(read.snapshot->endpoint_reference.starts_with("urn:uuid:"));
    EXPECT_TRUE(read.snapshot->mac);
    EXPECT_FALSE(read.snapshot->interface_token.empty());
    EXPECT_FALSE(read.snapshot->information.manufacturer.empty());
    EXPECT_EQ(read.snapshot->http_port, 8080);
    EXPECT_TRUE(read.snapshot->gateways && read.snapshot->dns);
    MoveAndConfirm(session, "10.77.1.50", "10.77.1.60", Session::ApplyOutcome::kMoving,
                   Session::Finding::kConfirmed, &search.StandardCameras());
    // Keyed by the MAC the read told, the camera is one row, at its new address.
    const auto book = search.StandardCameras().Find(first);
    ASSERT_TRUE(book && book->mac);
    EXPECT_TRUE(testing::WaitUntil(
        [&] {
            const auto rows = rows_of_first();
            return rows.size() == 1 && GetText(rows[0].entry.info.ip) == "10.77.1.60" &&
                   std::equal(book->mac->begin(), book->mac->end(), rows[0].entry.info.mac);
        },
        20s));

    // UsernameToken on a clock three days ahead: the offset is measured and used.
    const auto token = session.Read(At("10.77.1.51"), kRight);
    ASSERT_TRUE(token.snapshot) << int(token.failure.kind);
    EXPECT_EQ(token.snapshot->auth, StandardAuthMethod::kUsernameToken);
    EXPECT_NEAR(double(token.snapshot->clock_offset_s), 259200.0, 120.0);
    MoveAndConfirm(session, "10.77.1.51", "10.77.1.61", Session::ApplyOutcome::kMoving);

    // RebootNeeded: SystemReboot follows, and the camera comes back moved.
    MoveAndConfirm(session, "10.77.1.52", "10.77.1.62", Session::ApplyOutcome::kRebooting);
    EXPECT_EQ(sim->WaitForLog(
                  [](const testing::LoggedDatagram& d) {
                      return d.address == "10.77.1.52" && d.operation == "SystemReboot";
                  },
                  1),
              1u);
    // Moved, read back with the values sent, but the probe there names
    // another endpoint: not the camera that was changed.
    MoveAndConfirm(session, "10.77.1.53", "10.77.1.63", Session::ApplyOutcome::kMoving,
                   Session::Finding::kOtherEndpoint);
    // Every token went out with a fresh nonce: none was refused as reused.
    for (const auto& d : sim->ReadLog()) EXPECT_NE(d.auth, "token nonce-reused");
    EXPECT_EQ(sim->Stop(), 0);
}

TEST(StandardCameraSessionRefusal, RevertWrongPasswordFaultAndDeferredGatewayEachReported) {
    QUORVEX_LAB_OR_SKIP(lab);
    auto sim = StartCameras(*lab, "reverts,normal,faults,strict-gateway,silent-move",
                            "digest,digest,digest,digest,digest", 5);
    ASSERT_TRUE(sim);
    lab->EnterPc();
    Session::Options options;
    options.confirm_patience = 4s;
    const Session session(options);

    // Reverts: accepted, then nothing answers at the new address and the old
    // one still does, under the same endpoint.
    auto read = session.Read(At("10.77.1.50"), kRight);
    ASSERT_TRUE(read.snapshot);
    StandardWanted wanted;
    wanted.address = Ip("10.77.1.70");
    wanted.prefix_length = 24;
    auto applied = session.Apply(*read.snapshot, wanted, kRight);
    EXPECT_EQ(applied.outcome, Session::ApplyOutcome::kMoving);
    auto confirmed = session.Confirm(*read.snapshot, applied, Ip("10.77.1.70"), kRight);
    EXPECT_FALSE(confirmed.confirmed);
    EXPECT_EQ(confirmed.failure.kind, Session::FailureKind::kUnreachable);
    EXPECT_EQ(confirmed.finding, Session::Finding::kAtOldAddress);

    // Wrong password: refused as such at the read and at the change, and the
    // camera accepted no Set*.
    const auto refused = session.Read(At("10.77.1.51"), kWrong);
    EXPECT_FALSE(refused.snapshot);
    EXPECT_EQ(refused.failure.kind, Session::FailureKind::kAuthRefused);
    read = session.Read(At("10.77.1.51"), kRight);
    ASSERT_TRUE(read.snapshot);
    wanted.address = Ip("10.77.1.71");
    wanted.dns = std::vector<std::uint32_t>{Ip("10.77.1.9")};
    applied = session.Apply(*read.snapshot, wanted, kWrong);
    EXPECT_EQ(applied.outcome, Session::ApplyOutcome::kFailed);
    EXPECT_EQ(applied.failure.kind, Session::FailureKind::kAuthRefused);
    EXPECT_TRUE(applied.done.empty());
    for (const auto& d : sim->ReadLog()) {
        if (d.address == "10.77.1.51" && d.operation.starts_with("Set")) {
            EXPECT_FALSE(d.result.starts_with("accepted")) << d.operation << " " << d.result;
        }
    }

    // A faulting camera: the whole subcode chain comes back.
    read = session.Read(At("10.77.1.52"), kRight);
    ASSERT_TRUE(read.snapshot);
    wanted = {};
    wanted.address = Ip("10.77.1.72");
    wanted.prefix_length = 24;
    applied = session.Apply(*read.snapshot, wanted, kRight);
    EXPECT_EQ(applied.outcome, Session::ApplyOutcome::kFailed);
    ASSERT_EQ(applied.failure.kind, Session::FailureKind::kFault);
    EXPECT_TRUE(applied.failure.fault.code.Is(OnvifDeviceCodec::kEnvelope, "Sender"));
    ASSERT_EQ(applied.failure.fault.subcodes.size(), 2u);
    EXPECT_TRUE(applied.failure.fault.subcodes[0].Is(OnvifDeviceCodec::kErrors, "InvalidArgVal"));
    EXPECT_TRUE(
        applied.failure.fault.subcodes[1].Is(OnvifDeviceCodec::kErrors, "InvalidIPv4Address"));

    // A gateway outside the old subnet: sent only after the confirmed move,
    // which this camera would otherwise refuse.
    read = session.Read(At("10.77.1.53"), kRight);
    ASSERT_TRUE(read.snapshot);
    wanted = {};
    wanted.address = Ip("10.77.1.73");
    wanted.prefix_length = 16;
    wanted.gateway = Ip("10.77.2.1");
    applied = session.Apply(*read.snapshot, wanted, kRight);
    EXPECT_EQ(applied.outcome, Session::ApplyOutcome::kMoving) << int(applied.failure.kind);
    EXPECT_EQ(applied.done, std::vector<StandardStep>{StandardStep::kSetInterface});
    confirmed = session.Confirm(*read.snapshot, applied, Ip("10.77.1.73"), kRight);
    EXPECT_TRUE(confirmed.confirmed) << int(confirmed.failure.kind) << int(confirmed.mismatch);
    EXPECT_TRUE(confirmed.deferred_gateway_applied) << int(confirmed.failure.kind);

    // Hangs up on the move: unknown, searched for and found at the new
    // address with the new settings, yet never confirmed, nor sent again.
    read = session.Read(At("10.77.1.54"), kRight);
    ASSERT_TRUE(read.snapshot);
    wanted = {};
    wanted.address = Ip("10.77.1.74");
    wanted.prefix_length = 24;
    applied = session.Apply(*read.snapshot, wanted, kRight);
    EXPECT_EQ(applied.outcome, Session::ApplyOutcome::kUnknown);
    confirmed = session.Locate(*read.snapshot, applied, Ip("10.77.1.74"), kRight);
    EXPECT_FALSE(confirmed.confirmed);
    EXPECT_EQ(confirmed.finding, Session::Finding::kConfirmed);
    const auto log = sim->ReadLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const testing::LoggedDatagram& d) {
                                return d.operation == "SetNetworkInterfaces" &&
                                       d.address == "10.77.1.54";
                            }),
              1);
    EXPECT_EQ(sim->Stop(), 0);
}

}  // namespace
}  // namespace quorvex
