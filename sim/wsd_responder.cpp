#include "sim/wsd_responder.h"

#include <arpa/inet.h>

#include <algorithm>

#include "sim/text_device_protocol.h"
#include "sim/wsd_device_protocol.h"

namespace quorvex::sim {

namespace {

constexpr std::size_t kRememberedProbes = 256;

std::uint32_t Group() {
    in_addr a{};
    ::inet_pton(AF_INET, kTextGroup, &a);
    return a.s_addr;
}

}  // namespace

WsdResponder::WsdResponder(std::vector<SimDevice> devices, WsdBehaviour behaviour)
    : behaviour_(behaviour) {
    for (SimDevice& d : devices) {
        if (SpeaksWsd(d)) devices_.push_back(std::move(d));
    }
}

void WsdResponder::OnDatagram(const ReceivedDatagram& d, Clock::time_point now,
                              std::vector<OutgoingDatagram>& out) {
    if (d.socket != SocketKind::kWsd) return;
    const auto probe = ParseWsdProbe(d.bytes);
    if (!probe) return;
    if (first_probe_ == Clock::time_point{}) first_probe_ = now;
    // A device answers one MessageID once, however often the probe repeats.
    const std::string seen = std::to_string(d.interface_index) + " " + probe->message_id;
    if (std::find(seen_.begin(), seen_.end(), seen) != seen_.end()) return;
    seen_.push_back(seen);
    if (seen_.size() > kRememberedProbes) seen_.pop_front();

    const auto send = [&](std::string text, bool group, int delay_ms = 0) {
        OutgoingDatagram o;
        o.interface_index = d.interface_index;
        o.socket = SocketKind::kWsd;
        o.bytes.assign(text.begin(), text.end());
        o.address = group ? Group() : d.source_address;
        o.port = group ? kWsdPort : d.source_port;
        o.due = now + std::chrono::milliseconds(delay_ms);
        out.push_back(std::move(o));
    };
    for (const SimDevice& device : devices_) {
        if (!AnswersWsdProbe(device, *probe)) continue;
        send(BuildWsdProbeMatches(device, probe->message_id, sequence_++),
             EffectiveReply(device) == ReplyMode::kMulticast, device.reply_delay_ms);
    }
    if (behaviour_.malformed) {
        for (std::string& bad : BuildWsdMalformed(probe->message_id)) send(std::move(bad), false);
    }
}

void WsdResponder::Announce(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                            bool bye, std::vector<OutgoingDatagram>& out) {
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        for (const SimDevice& device : devices_) {
            const std::string text =
                bye ? BuildWsdBye(device, sequence_++) : BuildWsdHello(device, sequence_++);
            OutgoingDatagram o;
            o.interface_index = i;
            o.socket = SocketKind::kWsd;
            o.bytes.assign(text.begin(), text.end());
            o.address = Group();
            o.port = kWsdPort;
            o.due = now;
            out.push_back(std::move(o));
        }
    }
}

void WsdResponder::OnTick(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                          std::vector<OutgoingDatagram>& out) {
    if (first_probe_ == Clock::time_point{}) return;
    if (behaviour_.hello && !hello_sent_) {
        hello_sent_ = true;
        Announce(now, interfaces, false, out);
    }
    if (behaviour_.bye_after_ms >= 0 && !bye_sent_ &&
        now - first_probe_ >= std::chrono::milliseconds(behaviour_.bye_after_ms)) {
        bye_sent_ = true;
        Announce(now, interfaces, true, out);
    }
}

Clock::time_point WsdResponder::NextTick(Clock::time_point now) const {
    if (behaviour_.bye_after_ms >= 0 && !bye_sent_ && first_probe_ != Clock::time_point{})
        return std::max(now, first_probe_ + std::chrono::milliseconds(behaviour_.bye_after_ms));
    return now + std::chrono::milliseconds(100);
}

}  // namespace quorvex::sim
