#pragma once

// The health of a running search, as the search manager reports it to the
// front-ends: one value, copied out whole, that the window shows in its
// status line and the command-line tool prints on standard error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/socket_status.h"

namespace quorvex {

struct SearchStatus {
    // Every listening place of every protocol on every searched address.
    std::vector<SocketStatus> sockets;
    bool interfaces_loaded = false;     // the worker has read the adapters at least once
    std::size_t interface_count = 0;    // addresses searched on now
    std::uint64_t searches = 0;         // searches sent on all protocols
    std::uint64_t repeats = 0;          // searches repeated because answers were dropped
    std::uint64_t drops = 0;            // answers the system dropped, all sockets
    std::uint64_t adapter_changes = 0;  // times the adapters were read again after a change
    // The system dropped answers to the last search and the repeated searches
    // ended without getting them all back: the list may lack devices.
    bool answers_lost = false;
    // One entry per protocol that got faults or refused datagrams.
    std::vector<AnswerRejections> rejections;
    // Interfaces the configuration lists that have no usable address (yet):
    // nothing is searched there until they appear, which is at once.
    std::vector<std::string> missing_interfaces;

    bool operator==(const SearchStatus&) const = default;

    // True when `protocol` hears answers on at least one searched address.
    bool Listens(std::int32_t protocol) const;
    // The places that do not hear answers (state other than listening).
    std::vector<SocketStatus> Problems() const;
};

// What a problem is, for the front-ends to put into words.
enum class ProblemCode {
    kPortInUse,         // a port could not be bound: another program holds it
    kBindFailed,        // binding failed for another reason
    kSocketFailed,      // the system would not create a socket
    kJoinFailed,        // the multicast group could not be joined
    kInterfaceMissing,  // a listed interface does not exist or has no address
    kInterfaceGone,     // the interface or its address vanished while searching
    kAnswersLost,       // dropped answers did not come back with repeats
    kFaults,            // devices answered a search with a fault
    kRefusedDatagrams,  // datagrams refused as malformed or unsafe (a note)
};

// One problem with the facts needed to word it; fields that do not apply
// stay zero or empty.
struct SearchProblem {
    ProblemCode code = ProblemCode::kSocketFailed;
    std::int32_t protocol = 0;
    std::string interface_name;
    std::uint32_t interface_address = 0;  // network byte order
    std::uint16_t port = 0;
    bool shared_port = false;  // the place heard only group or broadcast answers
    int error = 0;             // errno
    std::uint64_t count = 0;   // drops, faults or refused datagrams
    std::uint64_t repeats = 0;

    bool operator==(const SearchProblem&) const = default;
};

// The problems of `status`, in a stable order: places, missing interfaces,
// lost answers, faults, then refused datagrams. All but the last make the
// list possibly incomplete; refused datagrams fail nothing, since anyone on
// the link can send them.
std::vector<SearchProblem> ListProblems(const SearchStatus& status);
// True for the problems that may leave devices out of the list.
bool MakesListIncomplete(const SearchProblem& problem);

// One problem in English words, as the lines below word it.
std::string DescribeProblem(const SearchProblem& problem);

// One line per problem, in English, for the command-line tool: "text
// protocol on eth0 (10.0.0.1): port 12109 in use (Address already in use):
// answers sent to the group are missed". A problem means the list may lack
// devices: places that hear nothing, answers the system dropped for good,
// devices that answered a search with a fault.
std::vector<std::string> DescribeProblems(const SearchStatus& status);

// Lines about what was heard and thrown away without making the list
// incomplete by the PC's doing: datagrams the parser refused. Anyone on the
// link can send such a datagram, so it is reported but fails nothing.
std::vector<std::string> DescribeNotes(const SearchStatus& status);

}  // namespace quorvex
