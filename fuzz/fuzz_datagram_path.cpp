// The road of received datagrams, from the transport's parse hook to the
// search manager's table, over arbitrary bytes and without any socket: the
// input is a run of datagrams, each handed to the protocol object of its port
// exactly as the receive loop hands one datagram over (the bytes in a reused
// receive slot, exactly as long as they arrived, and the address of the
// interface that heard them). Every delivered entry must equal what the codec
// makes of a fresh copy of the same bytes, so nothing of an earlier datagram
// in the slot can leak into a later one, and the table must hold exactly what
// was delivered last under each key.
//
// Input: records of [selector][length, 16-bit little-endian][bytes]; bit 0 of
// the selector picks the port (0: 8600, 1: 12109), bits 1-2 the interface.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "fuzz/fuzz_checks.h"
#include "search/search_business.h"

namespace {

using namespace quorvex;
using fuzz::Require;

constexpr std::uint32_t kInstance = 0x1A2B;  // "MorvainControl-Tesslar-1A2B"
constexpr std::uint32_t kInterfaces[4] = {0x0A4D000A, 0x0A4E000A, 0x0A4D0A0A, 0x0100007F};
constexpr std::size_t kLargestDatagram = 65507;

// The parse hook, reachable from outside the receive loop.
class TextPort : public MorvainSearch {
public:
    TextPort() : MorvainSearch(kInstance) {}
    using MorvainSearch::ParseAnswer;
};

class BinaryPort : public BrannocSearch {
public:
    using BrannocSearch::ParseAnswer;
};

struct Run {
    SearchBusiness* business = nullptr;
    std::optional<DeviceEntry> delivered;
    int deliveries = 0;
};

void OnDelivered(const DeviceEntry* entry, void* context, std::int32_t extra) {
    Require(entry != nullptr && extra == 0, "delivery carries an entry and the extra value");
    auto& run = *static_cast<Run*>(context);
    ++run.deliveries;
    run.delivered = *entry;
    run.business->OnDeviceFound(*entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto binary_owned = std::make_unique<BinaryPort>();
    auto text_owned = std::make_unique<TextPort>();
    BinaryPort& binary = *binary_owned;
    TextPort& text = *text_owned;
    SearchBusiness::ProtocolMap protocols;
    protocols.emplace(kProtocolBinary, std::move(binary_owned));
    protocols.emplace(kProtocolText, std::move(text_owned));
    SearchBusiness business(std::move(protocols));

    Run run;
    run.business = &business;
    binary.SetCallback(&OnDelivered, &run, 0);
    text.SetCallback(&OnDelivered, &run, 0);

    // One receive slot, reused for every datagram as the receive batch does.
    static std::vector<std::uint8_t> slot(65536);
    std::size_t at = 0;
    std::size_t keys_delivered = 0;
    while (at + 3 <= size) {
        const std::uint8_t selector = data[at];
        const std::size_t declared = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        const std::size_t length = std::min({declared, size - at, kLargestDatagram});
        std::copy_n(data + at, length, slot.begin());
        const std::vector<std::uint8_t> fresh(data + at, data + at + length);
        at += length;

        const bool is_text = (selector & 1) != 0;
        const std::uint32_t interface_address = kInterfaces[(selector >> 1) & 3];
        const std::span<const std::uint8_t> received(slot.data(), length);
        const std::size_t stored_before = business.DeviceCount();

        run.delivered.reset();
        const int deliveries_before = run.deliveries;
        if (is_text) {
            text.ParseAnswer(received, interface_address);
        } else {
            binary.ParseAnswer(received, interface_address);
        }
        Require(run.deliveries - deliveries_before <= 1, "at most one device per datagram");

        const auto expected =
            is_text ? MorvainSearch::ParseAnswerBytes(fresh, text.ClientId(), interface_address)
                    : BrannocSearch::ParseAnswerBytes(fresh, interface_address);
        Require(expected.has_value() == run.delivered.has_value(), "delivered exactly a device");
        if (!expected) continue;
        Require(SameContents(*expected, *run.delivered) &&
                    run.delivered->interface_address == interface_address,
                "the delivered entry is the codec's reading of these bytes alone");

        DeviceEntry stored{};
        const auto update = business.GetUpdate(DeviceKey(run.delivered->info));
        Require(update.has_value(), "entry is stored");
        stored = update->entry;
        Require(SameContents(stored, *run.delivered) || update->mac_conflict,
                "the table holds the latest contents unless its MAC is in conflict");
        const std::size_t stored_after = business.DeviceCount();
        Require(stored_after == stored_before || stored_after == stored_before + 1,
                "one datagram adds at most one device");
        keys_delivered += stored_after - stored_before;
    }
    Require(business.DeviceCount() == keys_delivered, "the table counts each key once");
    Require(business.DeviceCount() <= SearchBusiness::kMaxDevices, "the table is bounded");
    return 0;
}
