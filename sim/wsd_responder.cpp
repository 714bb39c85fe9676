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

WsdResponder::WsdResponder(std::vector<SimDevice> devices, WsdBehaviour behaviour,
                           std::vector<ServedInterface> interfaces)
    : behaviour_(behaviour), interfaces_(std::move(interfaces)) {
    for (SimDevice& d : devices) {
        if (!SpeaksWsd(d) || d.standard.on) continue;  // standard cameras answer for themselves
        in_addr own{};
        ::inet_pton(AF_INET, d.ip.c_str(), &own);
        own_addresses_.push_back(own.s_addr);
        devices_.push_back(std::move(d));
    }
}

std::string WsdResponder::AddressOn(std::size_t index, std::size_t interface,
                                    std::uint32_t prober) const {
    // A camera that speaks another protocol too states its address there;
    // naming another here would make its MAC answer with two.
    if (interface >= interfaces_.size() || devices_[index].protocol != DeviceProtocol::kWsd)
        return {};
    const std::uint32_t mask = ntohl(interfaces_[interface].mask);
    const std::uint32_t served = ntohl(interfaces_[interface].address);
    const std::uint32_t hosts = ~mask;  // also the broadcast host number
    if (hosts < 4 || (ntohl(own_addresses_[index]) & mask) == (served & mask)) return {};
    std::uint32_t taken[2] = {served & hosts, ntohl(prober) & hosts};
    if (taken[0] < taken[1]) std::swap(taken[0], taken[1]);
    std::uint32_t host = hosts - 1 - static_cast<std::uint32_t>(index % (hosts - 3));
    for (const std::uint32_t t : taken)
        if (t >= host) --host;
    const in_addr address{htonl((served & mask) | host)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

void WsdResponder::OnDatagram(const ReceivedDatagram& d, Clock::time_point now,
                              std::vector<OutgoingDatagram>& out) {
    if (d.socket != SocketKind::kWsd) return;
    const auto probe = ParseWsdProbe(d.bytes);
    if (!probe) return;
    if (first_probe_ == Clock::time_point{}) {
        first_probe_ = now;
        first_prober_ = d.source_address;
    }
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
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const SimDevice& device = devices_[i];
        if (!AnswersWsdProbe(device, *probe)) continue;
        send(BuildWsdProbeMatches(device, probe->message_id, sequence_++,
                                  AddressOn(i, d.interface_index, d.source_address)),
             EffectiveReply(device) == ReplyMode::kMulticast, device.reply_delay_ms);
    }
    if (behaviour_.malformed) {
        for (std::string& bad : BuildWsdMalformed(probe->message_id)) send(std::move(bad), false);
    }
}

void WsdResponder::Announce(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                            bool bye, std::vector<OutgoingDatagram>& out) {
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        for (std::size_t d = 0; d < devices_.size(); ++d) {
            const SimDevice& device = devices_[d];
            const std::string text =
                bye ? BuildWsdBye(device, sequence_++)
                    : BuildWsdHello(device, sequence_++, AddressOn(d, i, first_prober_));
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
