#include "sim/device_responder.h"

#include <arpa/inet.h>

#include <array>

#include "sim/binary_device_protocol.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {

namespace {

std::uint32_t Address(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

}  // namespace

DeviceResponder::DeviceResponder(std::vector<SimDevice> devices, int spread_ms, std::uint64_t seed)
    : devices_(std::move(devices)), spread_ms_(spread_ms), random_(seed) {}

Clock::time_point DeviceResponder::Due(const SimDevice& device, Clock::time_point now) {
    const Clock::time_point held = now + std::chrono::milliseconds(device.reply_delay_ms);
    if (spread_ms_ <= 0) return held;
    std::uniform_int_distribution<int> delay(0, spread_ms_ * 1000 - 1);
    return held + std::chrono::microseconds(delay(random_));
}

void DeviceResponder::OnDatagram(const ReceivedDatagram& d, Clock::time_point now,
                                 std::vector<OutgoingDatagram>& out) {
    static const std::uint32_t kBroadcast = Address("255.255.255.255");
    static const std::uint32_t kGroup = Address(kTextGroup);

    if (d.socket == SocketKind::kBinary) {
        const BinaryMessage kind = ClassifyBinary(d.bytes);
        if (kind == BinaryMessage::kProbe) {
            for (const SimDevice& device : devices_) {
                if (device.protocol != DeviceProtocol::kBinary) continue;
                OutgoingDatagram o;
                o.interface_index = d.interface_index;
                o.socket = SocketKind::kBinary;
                o.bytes.resize(kBinaryMessageLength);
                BuildBinaryAnswer(device, std::span<std::uint8_t, kBinaryMessageLength>(o.bytes));
                // A broadcast answer goes to the port the probe came from, so
                // that the probing socket hears it however it is bound.
                o.address =
                    EffectiveReply(device) == ReplyMode::kBroadcast ? kBroadcast : d.source_address;
                o.port = d.source_port;
                o.due = Due(device, now);
                out.push_back(std::move(o));
            }
        } else if (kind == BinaryMessage::kCommand) {
            if (const auto command = ParseBinaryCommand(d.bytes)) {
                for (SimDevice& device : devices_) ApplyBinaryCommand(*command, device);
            }
        }
        return;
    }

    if (const auto client = ParseTextSearch(d.bytes)) {
        for (const SimDevice& device : devices_) {
            if (device.protocol != DeviceProtocol::kText) continue;
            const std::string answer = BuildTextAnswer(device, *client);
            OutgoingDatagram o;
            o.interface_index = d.interface_index;
            o.socket = SocketKind::kText;
            o.bytes.assign(answer.begin(), answer.end());
            if (EffectiveReply(device) == ReplyMode::kMulticast) {
                o.address = kGroup;
                o.port = kTextPort;
            } else {
                o.address = d.source_address;
                o.port = d.source_port;
            }
            o.due = Due(device, now);
            out.push_back(std::move(o));
        }
    } else if (const auto command = ParseTextCommand(d.bytes)) {
        for (SimDevice& device : devices_) ApplyTextCommand(*command, device);
    }
}

}  // namespace quorvex::sim
