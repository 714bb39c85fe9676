#include "search/search_status.h"

#include <cerrno>
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

std::vector<SearchProblem> ListProblems(const SearchStatus& status) {
    std::vector<SearchProblem> problems;
    for (const SocketStatus& place : status.Problems()) {
        SearchProblem p;
        switch (place.state) {
            case ListenState::kBindFailed:
                p.code = place.error == EADDRINUSE || place.error == 0 ? ProblemCode::kPortInUse
                                                                       : ProblemCode::kBindFailed;
                break;
            case ListenState::kJoinFailed:
                p.code = ProblemCode::kJoinFailed;
                break;
            case ListenState::kInterfaceGone:
                p.code = ProblemCode::kInterfaceGone;
                break;
            default:
                p.code = ProblemCode::kSocketFailed;
                break;
        }
        p.protocol = place.protocol;
        p.interface_name = place.interface_name;
        p.interface_address = place.interface_address;
        p.port = place.port;
        p.shared_port = place.shared_port;
        p.error = place.error;
        p.count = place.drops;
        problems.push_back(std::move(p));
    }
    for (const std::string& name : status.missing_interfaces) {
        SearchProblem p;
        p.code = ProblemCode::kInterfaceMissing;
        p.interface_name = name;
        problems.push_back(std::move(p));
    }
    if (status.answers_lost) {
        SearchProblem p;
        p.code = ProblemCode::kAnswersLost;
        p.count = status.drops;
        p.repeats = status.repeats;
        problems.push_back(std::move(p));
    }
    const auto counted = [&](ProblemCode code, std::int32_t protocol, std::uint64_t count) {
        if (count == 0) return;
        SearchProblem p;
        p.code = code;
        p.protocol = protocol;
        p.count = count;
        problems.push_back(std::move(p));
    };
    for (const AnswerRejections& r : status.rejections)
        counted(ProblemCode::kFaults, r.protocol, r.faults);
    for (const AnswerRejections& r : status.rejections)
        counted(ProblemCode::kRefusedDatagrams, r.protocol, r.refused);
    return problems;
}

bool MakesListIncomplete(const SearchProblem& problem) {
    return problem.code != ProblemCode::kRefusedDatagrams;
}

namespace {}  // namespace

std::string DescribeProblem(const SearchProblem& p) {
    const std::string protocol = std::string(ProtocolSpokenName(p.protocol)) + " protocol";
    switch (p.code) {
        case ProblemCode::kInterfaceMissing:
            return "interface " + p.interface_name +
                   " is listed but missing or without an address: it is searched once it appears";
        case ProblemCode::kAnswersLost:
            return "the system dropped " + std::to_string(p.count) + " answers and " +
                   std::to_string(p.repeats) + " repeated searches did not bring them all back";
        case ProblemCode::kFaults:
            return protocol + ": " + std::to_string(p.count) +
                   " answer(s) to our searches were faults: those devices are not listed";
        case ProblemCode::kRefusedDatagrams:
            return protocol + ": " + std::to_string(p.count) +
                   " datagram(s) refused as malformed, oversized or carrying a DOCTYPE";
        default:
            break;
    }
    std::string line = protocol + " on ";
    line += p.interface_name.empty() ? std::string("?") : p.interface_name;
    line += " (" + AddressText(p.interface_address) + "): ";
    switch (p.code) {
        case ProblemCode::kPortInUse:
            line += "port " + std::to_string(p.port) + " in use";
            break;
        case ProblemCode::kBindFailed:
            line += "port " + std::to_string(p.port) + " could not be bound";
            break;
        case ProblemCode::kJoinFailed:
            line += ListenStateText(ListenState::kJoinFailed);
            break;
        case ProblemCode::kInterfaceGone:
            line += ListenStateText(ListenState::kInterfaceGone);
            break;
        default:
            line += ListenStateText(ListenState::kSocketFailed);
            break;
    }
    if (p.error != 0) line += std::string(" (") + std::strerror(p.error) + ")";
    if (p.code != ProblemCode::kInterfaceGone) {
        line += !p.shared_port ? ": no answers are heard there"
                : p.protocol == kProtocolWsDiscovery
                    ? ": Hello, Bye and answers sent to the group are missed"
                    : ": answers sent to the group or by broadcast are missed";
    }
    return line;
}

std::vector<std::string> DescribeProblems(const SearchStatus& status) {
    std::vector<std::string> lines;
    for (const SearchProblem& problem : ListProblems(status))
        if (MakesListIncomplete(problem)) lines.push_back(DescribeProblem(problem));
    return lines;
}

std::vector<std::string> DescribeNotes(const SearchStatus& status) {
    std::vector<std::string> lines;
    for (const SearchProblem& problem : ListProblems(status))
        if (!MakesListIncomplete(problem)) lines.push_back(DescribeProblem(problem));
    return lines;
}

}  // namespace quorvex
