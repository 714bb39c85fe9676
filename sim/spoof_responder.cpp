#include "sim/spoof_responder.h"

#include <arpa/inet.h>

#include <chrono>

#include "sim/binary_device_protocol.h"
#include "sim/flood_datagrams.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {

SpoofResponder::SpoofResponder(const std::vector<SimDevice>& devices) {
    impostors_.reserve(devices.size());
    for (const SimDevice& device : devices) impostors_.push_back(Spoofed(device));
}

void SpoofResponder::OnDatagram(const ReceivedDatagram& d, Clock::time_point now,
                                std::vector<OutgoingDatagram>& out) {
    std::string client_id;
    DeviceProtocol protocol = DeviceProtocol::kBinary;
    if (d.socket == SocketKind::kBinary) {
        if (ClassifyBinary(d.bytes) != BinaryMessage::kProbe) return;
    } else {
        const auto client = ParseTextSearch(d.bytes);
        if (!client) return;
        client_id = *client;
        protocol = DeviceProtocol::kText;
    }
    // The loop sends due datagrams in the order of their due times; one
    // microsecond later than the genuine answers keeps every impostor behind
    // its camera on the wire.
    const Clock::time_point due = now + std::chrono::microseconds(1);
    for (const SimDevice& impostor : impostors_) {
        if (impostor.protocol != protocol) continue;
        OutgoingDatagram o;
        o.interface_index = d.interface_index;
        o.socket = d.socket;
        o.bytes = AnswerBytes(impostor, client_id);
        o.address = d.source_address;
        o.port = d.source_port;
        const ReplyMode mode = EffectiveReply(impostor);
        if (mode == ReplyMode::kBroadcast) {
            o.address = htonl(INADDR_BROADCAST);
        } else if (mode == ReplyMode::kMulticast) {
            ::inet_pton(AF_INET, kTextGroup, &o.address);
            o.port = kTextPort;
        }
        o.due = due;
        out.push_back(std::move(o));
    }
}

}  // namespace quorvex::sim
