#pragma once

// Which camera gets which address when several move at once: candidates are
// taken in order, every one the address check refuses is skipped with its
// reason, and no address is ever handed out twice. When the candidates run
// out, the cameras left over are not moved at all.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <vector>

#include "search/address_check.h"

namespace quorvex {

struct PlannedMove {
    std::size_t camera = 0;     // index into the cameras planned for
    std::uint32_t address = 0;  // network byte order
};

struct SkippedAddress {
    std::uint32_t address = 0;
    AddressVerdict why = AddressVerdict::free;
};

struct AddressPlan {
    // In camera order: camera i gets moves[i] while i < moves.size().
    std::vector<PlannedMove> moves;
    std::vector<SkippedAddress> skipped;
    // Cameras without an address because the candidates ran out.
    std::size_t unplaced = 0;
};

// The verdict for giving `address` to camera `camera`.
using CameraAddressCheck = std::function<AddressVerdict(std::uint32_t address, std::size_t camera)>;

// Gives `cameras` cameras the first addresses of `candidates` that `check`
// finds free, in order. Pure.
AddressPlan PlanAddresses(std::span<const std::uint32_t> candidates, std::size_t cameras,
                          const CameraAddressCheck& check);

// Asks the link about `addresses` at once; returns those another host
// answered for.
using LinkProbe = std::function<std::set<std::uint32_t>(const std::vector<std::uint32_t>&)>;

// As above, and every address the plan hands out is asked on the link first:
// those answered are added to `answered` (which `check` is to consult) and the
// plan is made again, until every address handed out has been asked about.
AddressPlan PlanAddressesOnLink(std::span<const std::uint32_t> candidates, std::size_t cameras,
                                const CameraAddressCheck& check, const LinkProbe& probe,
                                std::set<std::uint32_t>& answered);

// `count` consecutive addresses from `start` on that are inside `subnet`
// (fewer when its end comes first).
std::vector<std::uint32_t> ConsecutiveAddresses(std::uint32_t start, const Ipv4Subnet& subnet,
                                                std::size_t count);

}  // namespace quorvex
