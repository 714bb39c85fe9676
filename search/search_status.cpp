#include "search/search_status.h"

#include <cstring>

#include "core/device_records.h"
#include "core/protocol_names.h"

namespace quorvex {

bool SearchStatus::Listens(std::int32_t protocol) const {
    for (const SocketStatus& place : sockets) {
        if (place.protocol == protocol && !place.shared_port &&
            place.state == ListenState::kListening) {
            return true;
        }
    }
    return false;
}

std::vector<SocketStatus> SearchStatus::Problems() const {
    std::vector<SocketStatus> problems;
    for (const SocketStatus& place : sockets) {
        if (place.state != ListenState::kListening) problems.push_back(place);
    }
    return problems;
}

std::vector<std::string> DescribeProblems(const SearchStatus& status) {
    std::vector<std::string> lines;
    for (const SocketStatus& place : status.Problems()) {
        std::string line = std::string(ProtocolSpokenName(place.protocol)) + " protocol on ";
        line += place.interface_name.empty() ? std::string("?") : place.interface_name;
        line += " (" + AddressText(place.interface_address) + "): ";
        if (place.state == ListenState::kBindFailed) {
            line += "port " + std::to_string(place.port) + " in use";
        } else {
            line += ListenStateText(place.state);
        }
        if (place.error != 0) line += std::string(" (") + std::strerror(place.error) + ")";
        if (place.state != ListenState::kInterfaceGone) {
            line += !place.shared_port ? ": no answers are heard there"
                    : place.protocol == kProtocolWsDiscovery
                        ? ": Hello, Bye and answers sent to the group are missed"
                        : ": answers sent to the group or by broadcast are missed";
        }
        lines.push_back(std::move(line));
    }
    if (status.answers_lost) {
        lines.push_back("the system dropped " + std::to_string(status.drops) + " answers and " +
                        std::to_string(status.repeats) +
                        " repeated searches did not bring them all back");
    }
    for (const AnswerRejections& r : status.rejections) {
        if (r.faults == 0) continue;
        lines.push_back(std::string(ProtocolSpokenName(r.protocol)) +
                        " protocol: " + std::to_string(r.faults) +
                        " answer(s) to our searches were faults: those devices are not listed");
    }
    return lines;
}

std::vector<std::string> DescribeNotes(const SearchStatus& status) {
    std::vector<std::string> lines;
    for (const AnswerRejections& r : status.rejections) {
        if (r.refused == 0) continue;
        lines.push_back(std::string(ProtocolSpokenName(r.protocol)) +
                        " protocol: " + std::to_string(r.refused) +
                        " datagram(s) refused as malformed, oversized or carrying a DOCTYPE");
    }
    return lines;
}

}  // namespace quorvex
