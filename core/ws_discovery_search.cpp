#include "core/ws_discovery_search.h"

#include <algorithm>
#include <random>
#include <utility>

namespace quorvex {

namespace {

std::array<std::uint8_t, 16> RandomBytes() {
    static thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t value = generator();
        for (std::size_t j = 0; j < 8; ++j)
            bytes[i + j] = static_cast<std::uint8_t>(value >> (8 * j));
    }
    return bytes;
}

}  // namespace

WsDiscoverySearch::WsDiscoverySearch() : BaseSearch(kPort) {}

void WsDiscoverySearch::SetWsdCallback(WsdDeviceCallback callback, void* context,
                                       std::int32_t extra) {
    wsd_callback_ = callback;
    wsd_context_ = context;
    wsd_extra_ = extra;
}

void WsDiscoverySearch::Deliver(const WsdDevice& device) const {
    if (wsd_callback_ != nullptr) wsd_callback_(&device, wsd_context_, wsd_extra_);
}

void WsDiscoverySearch::OpenSockets(const LocalInterface* interfaces, std::int32_t count) {
    CloseSockets();
    if (interfaces == nullptr || count <= 0) return;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t address = InterfaceAddress(interfaces[i]);
        std::uint32_t mask = 0;
        ParseAddress(GetText(interfaces[i].mask), mask);
        masks_.emplace_back(address, mask);

        // Devices answer a probe at its source port, so a free port serves
        // every search of this process and never clashes with another.
        OpenAndAddSocket(interfaces[i], 0, {.reuse_port = true}, true,
                         GroupJoin{kGroupAddress, kMulticastTtl});
        // Port 3702 hears what devices send to the group: their Hello and
        // Bye, and ProbeMatches of devices that answer to the group. Another
        // program may hold the port; without reuse on its side the bind fails
        // and only those are missed.
        OpenAndAddSocket(interfaces[i], kPort, {.reuse_address = true, .reuse_port = true}, false,
                         GroupJoin{kGroupAddress, kMulticastTtl});
    }
}

void WsDiscoverySearch::CloseSockets() {
    BaseSearch::CloseSockets();
    masks_.clear();
    pending_.clear();
}

void WsDiscoverySearch::SendSearch() {
    // Each search gets new MessageIDs: answers to it are told apart from
    // the late answers to an earlier one only by them.
    constexpr WsDiscoveryCodec::ProbeType kTypes[] = {
        WsDiscoveryCodec::ProbeType::kNetworkVideoTransmitter,
        WsDiscoveryCodec::ProbeType::kDevice};
    pending_.clear();
    std::array<std::uint8_t, 2048> buffer{};
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < probes_.size(); ++i) {
        std::string id = WsDiscoveryCodec::MakeMessageId(RandomBytes());
        const std::size_t length = WsDiscoveryCodec::BuildProbe(buffer, kTypes[i], id);
        probes_[i].assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        message_ids_.push_back(std::move(id));
        if (length == 0) continue;
        SendOnEveryInterface(probes_[i], Endpoint{kGroupAddress, kPort});
        for (const auto delay : kRepeatDelays) pending_.push_back(PendingCopy{now + delay, i});
    }
    const std::size_t keep = kRememberedSearches * probes_.size();
    if (message_ids_.size() > keep) {
        message_ids_.erase(
            message_ids_.begin(),
            message_ids_.begin() + static_cast<std::ptrdiff_t>(message_ids_.size() - keep));
    }
}

void WsDiscoverySearch::FlushCommands() {
    BaseSearch::FlushCommands();
    const auto now = std::chrono::steady_clock::now();
    // Copies go in the order they were planned; one whose time has not come
    // holds back the rest, so a probe never overtakes its own earlier copy.
    auto due_end = pending_.begin();
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const PendingCopy& a, const PendingCopy& b) { return a.due < b.due; });
    while (due_end != pending_.end() && due_end->due <= now) {
        SendOnEveryInterface(probes_[due_end->probe], Endpoint{kGroupAddress, kPort});
        ++due_end;
    }
    pending_.erase(pending_.begin(), due_end);
}

bool WsDiscoverySearch::BuildSearchRequest(std::span<std::uint8_t>, std::int32_t&, Endpoint&) {
    return false;  // the probes do not fit a search buffer; SendSearch sends them
}

bool WsDiscoverySearch::BuildCommand(std::span<std::uint8_t>, std::int32_t&, Endpoint&,
                                     const DeviceInfo&, const NetSettings&, std::int32_t) {
    return false;
}

bool WsDiscoverySearch::IsOurProbe(const std::string& relates_to) const {
    return !relates_to.empty() &&
           std::find(message_ids_.begin(), message_ids_.end(), relates_to) != message_ids_.end();
}

std::uint32_t WsDiscoverySearch::MaskOf(std::uint32_t interface_address) const {
    for (const auto& [address, mask] : masks_) {
        if (address == interface_address) return mask;
    }
    return 0;
}

void WsDiscoverySearch::ParseAnswer(std::span<const std::uint8_t> bytes,
                                    std::uint32_t interface_address) {
    const WsDiscoveryCodec::ParseResult result = WsDiscoveryCodec::Parse(bytes);
    if (!result.message) {
        refused_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const WsDiscoveryCodec::Message& message = *result.message;
    const std::uint32_t source = AnswerSource();
    const std::uint32_t mask = MaskOf(interface_address);
    switch (message.kind) {
        case WsDiscoveryCodec::Kind::kProbeMatches:
            if (!IsOurProbe(message.relates_to)) {
                unmatched_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            for (const WsDiscoveryCodec::Match& match : message.matches) {
                if (match.endpoint.empty() && match.xaddrs.empty()) continue;
                if (!WsDiscoveryCodec::OffersWebService(match)) {
                    ignored_.fetch_add(1, std::memory_order_relaxed);
                    continue;
                }
                const WsdDevice device =
                    WsDiscoveryCodec::MakeDevice(match, interface_address, mask, source);
                matches_.fetch_add(1, std::memory_order_relaxed);
                Deliver(device);
            }
            return;
        case WsDiscoveryCodec::Kind::kHello:
            // Printers and other WS-Discovery hosts announce themselves too;
            // only cameras belong in the list.
            if (message.matches.empty() || !WsDiscoveryCodec::IsVideoDevice(message.matches[0]) ||
                !WsDiscoveryCodec::OffersWebService(message.matches[0])) {
                ignored_.fetch_add(1, std::memory_order_relaxed);
                return;
            } else {
                const WsdDevice device = WsDiscoveryCodec::MakeDevice(
                    message.matches[0], interface_address, mask, source);
                hellos_.fetch_add(1, std::memory_order_relaxed);
                Deliver(device);
            }
            return;
        case WsDiscoveryCodec::Kind::kBye:
            if (message.matches.empty() || message.matches[0].endpoint.empty()) {
                ignored_.fetch_add(1, std::memory_order_relaxed);
            } else {
                WsdDevice device = WsDiscoveryCodec::MakeDevice(message.matches[0],
                                                                interface_address, mask, source);
                device.wsd.flags |= kWsdGone;
                byes_.fetch_add(1, std::memory_order_relaxed);
                Deliver(device);
            }
            return;
        case WsDiscoveryCodec::Kind::kFault:
            // A fault for someone else's probe is no problem of this search.
            if (IsOurProbe(message.relates_to)) {
                faults_.fetch_add(1, std::memory_order_relaxed);
            } else {
                unmatched_.fetch_add(1, std::memory_order_relaxed);
            }
            return;
        default:
            // Probes of other clients land here too: never answered.
            ignored_.fetch_add(1, std::memory_order_relaxed);
            return;
    }
}

WsDiscoverySearch::Counters WsDiscoverySearch::Statistics() const {
    Counters c;
    c.matches = matches_.load(std::memory_order_relaxed);
    c.hellos = hellos_.load(std::memory_order_relaxed);
    c.byes = byes_.load(std::memory_order_relaxed);
    c.faults = faults_.load(std::memory_order_relaxed);
    c.refused = refused_.load(std::memory_order_relaxed);
    c.unmatched = unmatched_.load(std::memory_order_relaxed);
    c.ignored = ignored_.load(std::memory_order_relaxed);
    return c;
}

AnswerRejections WsDiscoverySearch::Rejections() const {
    AnswerRejections r;
    r.faults = faults_.load(std::memory_order_relaxed);
    r.refused = refused_.load(std::memory_order_relaxed);
    return r;
}

}  // namespace quorvex
