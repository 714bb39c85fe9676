#pragma once

// The devices found, one entry per device key: merges every answer into its
// entry, keeps each device's health (searches missed, silent), what
// WS-Discovery said of it, and whether its MAC answered inconsistently within
// one search; hands out copies and the batches of what changed.
//
// MAC conflicts: within one search a MAC that answers with different
// addresses, or from different senders, is marked in conflict: some host on
// the link may be posing as the camera. While marked, no answer replaces the
// stored entry: the row keeps what the first answer of the search in which the
// conflict showed said, whichever answer is the real one. The mark clears
// when a later search has ended in which the MAC answered, every time, with
// one address from one sender; the answers after that are merged as usual. A
// Bye ends what a search heard of the device so far: a camera that moves
// says Bye and is heard again from its new address.
// Addresses are compared between answers of the own protocols only (a
// WS-Discovery address comes from a service address of the device's
// choosing); senders between every answer whose sender is known.
//
// Learned MACs: WS-Discovery keys a camera that names no MAC by its endpoint
// reference and sender, so a camera that moves, or that the own protocols
// hear too, would be two rows. Once a read of the camera tells its MAC
// (`LearnMac`), its rows are that MAC's row from then on: a WS-Discovery row
// of the endpoint is re-keyed (merged into the own protocols' row of the
// MAC, if there is one), and every later answer of the endpoint, from
// whatever address, lands there. What was learned outlives `Clear`.
//
// Threads: `Record` and `LearnMac` run on the one thread that delivers
// answers (an answer keyed before a learning it raced with would otherwise
// make a row of its own), the rest on any thread. One lock, held for one
// lookup or copy; the interface lookups run outside it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/device_records.h"
#include "search/device_update.h"
#include "search/interface_set.h"

namespace quorvex {

class DeviceTable {
public:
    // At most this many devices; answers with new keys beyond it are dropped,
    // answers for keys already stored still update them.
    static constexpr std::size_t kMaxDevices = 65536;
    // A device that missed this many searches in a row is not answering.
    static constexpr std::int32_t kMissedSearchesForSilent = 3;

    // `interfaces` must outlive the table.
    explicit DeviceTable(const InterfaceSet& interfaces) : interfaces_(interfaces) {}

    // Merges one answer (`wsd`: null for the own protocols), heard while
    // `search` searches had been sent, at `now_ms` (ms since the Unix epoch).
    void Record(const DeviceEntry& entry, const WsdInfo* wsd, std::uint64_t search,
                std::int64_t now_ms);
    // From now on, the WS-Discovery answers naming `endpoint` are the device
    // of `mac`: its stored rows are re-keyed at once. Nothing for an empty
    // endpoint or an all-zero MAC.
    void LearnMac(std::string_view endpoint, const std::array<std::uint8_t, 6>& mac);
    // A new search goes out after `previous` searches: every device that did
    // not answer search `previous` missed one more, and a conflict mark whose
    // device answered search `previous` consistently clears.
    void SearchStarts(std::uint64_t previous);
    // What changed since the last call, each device once, as it is now.
    std::vector<DeviceUpdate> TakeChanged();

    std::optional<DeviceUpdate> Get(std::string_view key) const;
    std::vector<DeviceEntry> CopyEntries() const;
    std::vector<DeviceUpdate> CopyUpdates() const;
    std::size_t Count() const;
    // Devices added since construction by answers of `protocol`.
    std::uint64_t Added(std::int32_t protocol) const;
    void Clear();

private:
    struct Stored {
        DeviceEntry entry;
        std::uint64_t heard_search = 0;  // number of the search it last answered
        std::int64_t heard_ms = 0;
        std::int32_t missed = 0;  // searches in a row it missed
        bool conflict = false;    // the mark shown
        // The first answer of search `marks_search`, and whether another
        // answer of that search disagreed with it.
        std::uint64_t marks_search = 0;
        std::uint32_t first_address = 0;
        std::uint32_t first_sender = 0;
        bool disagreed = false;
    };
    // Under the lock.
    DeviceUpdate MakeUpdate(std::uint64_t key, const Stored& stored) const;
    // Compares an answer with the first of its search; true when the device
    // is (now) in conflict. Under the lock.
    static bool CheckConflict(Stored& stored, const DeviceEntry& entry, std::uint64_t search,
                              bool& changed);
    std::vector<DeviceUpdate> Finish(std::vector<DeviceUpdate> updates) const;
    // `answer` with the MAC learned for its endpoint, in `relabelled`; the
    // answer itself when none was learned.
    const DeviceEntry& Relabel(const DeviceEntry& answer, const WsdInfo* wsd,
                               DeviceEntry& relabelled) const;

    const InterfaceSet& interfaces_;
    mutable std::shared_mutex lock_;
    // Keyed by the six bytes of the MAC address, which the device key text
    // spells out: one key per device key, without a string per answer.
    std::unordered_map<std::uint64_t, Stored> devices_;
    // What WS-Discovery said of the devices it heard, by the same keys. Kept
    // apart so that the far more numerous answers of the own protocols never
    // carry it; shared with the updates sent out.
    std::unordered_map<std::uint64_t, std::shared_ptr<const WsdInfo>> wsd_;
    std::map<std::int32_t, std::uint64_t> added_;
    std::vector<std::uint64_t> changed_;  // keys changed since `TakeChanged`
    // The MAC key learned for each endpoint reference.
    std::unordered_map<std::string, std::uint64_t> learned_;
    // Keys re-keyed into another since `TakeChanged`: new key, old keys.
    std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> retired_;
};

}  // namespace quorvex
