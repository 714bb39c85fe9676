#include "sim/flood_target.h"

#include <arpa/inet.h>

#include "sim/binary_device_protocol.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {

bool FloodTarget::SamePc(const Heard& a, const ReceivedDatagram& d) {
    return !a.known || (a.interface_index == d.interface_index && a.address == d.source_address);
}

void FloodTarget::Learn(const ReceivedDatagram& d) {
    if (Known()) return;
    if (d.socket == SocketKind::kBinary) {
        if (binary_.known || !SamePc(text_, d)) return;
        if (ClassifyBinary(d.bytes) != BinaryMessage::kProbe) return;
        binary_ = Heard{true, d.interface_index, d.source_address, d.source_port};
        return;
    }
    if (text_.known || !SamePc(binary_, d)) return;
    if (const auto client = ParseTextSearch(d.bytes)) {
        text_ = Heard{true, d.interface_index, d.source_address, d.source_port};
        client_id_ = *client;
    }
}

bool FloodTarget::Known() const {
    return binary_.known && text_.known;
}

OutgoingDatagram FloodTarget::Aim(SocketKind kind, bool group, std::vector<std::uint8_t> bytes,
                                  Clock::time_point due) const {
    OutgoingDatagram o;
    o.interface_index = binary_.interface_index;
    o.socket = kind;
    o.bytes = std::move(bytes);
    o.due = due;
    if (kind == SocketKind::kBinary) {
        o.address = group ? htonl(INADDR_BROADCAST) : binary_.address;
        o.port = binary_.port;
    } else if (group) {
        ::inet_pton(AF_INET, kTextGroup, &o.address);
        o.port = kTextPort;
    } else {
        o.address = text_.address;
        o.port = text_.port;
    }
    return o;
}

}  // namespace quorvex::sim
