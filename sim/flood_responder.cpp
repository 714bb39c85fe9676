#include "sim/flood_responder.h"

#include <chrono>
#include <cstdio>

namespace quorvex::sim {

namespace {

// How often a datagram meant for one port is sent to the other instead
// (in a thousand).
constexpr int kOtherPortPerMille = 100;

}  // namespace

FloodResponder::FloodResponder(FloodKind kind, std::uint64_t count, std::uint64_t rate,
                               FloodAim aim, std::uint64_t seed, std::ostream* report)
    : kind_(kind), aim_(aim), pace_(count, rate), random_(seed), report_(report) {}

void FloodResponder::OnDatagram(const ReceivedDatagram& datagram, Clock::time_point,
                                std::vector<OutgoingDatagram>&) {
    target_.Learn(datagram);
}

Clock::time_point FloodResponder::NextTick(Clock::time_point now) const {
    return pace_.NextDue(now);
}

SocketKind FloodResponder::AnySocket() {
    return std::uniform_int_distribution<int>(0, 1)(random_) == 0 ? SocketKind::kBinary
                                                                  : SocketKind::kText;
}

bool FloodResponder::Group() {
    switch (aim_) {
        case FloodAim::kUnicast:
            return false;
        case FloodAim::kGroup:
            return true;
        case FloodAim::kMixed:
            break;
    }
    return made_ % 2 == 1;
}

std::vector<std::uint8_t> FloodResponder::Make(FloodKind kind, SocketKind& socket) {
    const auto below = [this](std::uint64_t bound) {
        return std::uniform_int_distribution<std::uint64_t>(0, bound - 1)(random_);
    };
    const auto meant_for = [&](bool text) {
        const bool other = below(1000) < kOtherPortPerMille;
        socket = text != other ? SocketKind::kText : SocketKind::kBinary;
    };
    switch (kind) {
        case FloodKind::kRandom:
            socket = AnySocket();
            return RandomBytes(random_, below(kFrameDatagram + 1));
        case FloodKind::kNearMiss: {
            const Prepared& near_miss = near_misses_[below(near_misses_.size())];
            meant_for(near_miss.text);
            return near_miss.bytes;
        }
        case FloodKind::kTruncated: {
            const Prepared& decoy = decoys_[below(decoys_.size())];
            meant_for(decoy.text);
            // Never whole: a cut copy must stand on its own bytes.
            const auto cut = static_cast<std::ptrdiff_t>(below(decoy.bytes.size()));
            return std::vector<std::uint8_t>(decoy.bytes.begin(), decoy.bytes.begin() + cut);
        }
        case FloodKind::kOversized: {
            const auto pick = below(8);
            if (pick < 2) {
                const bool text = pick == 1;
                socket = text ? SocketKind::kText : SocketKind::kBinary;
                return OversizedAnswer(text ? DeviceProtocol::kText : DeviceProtocol::kBinary,
                                       target_.client_id());
            }
            socket = AnySocket();
            const std::size_t length =
                pick == 2 ? kLargestDatagram
                          : kFrameDatagram + 1 + below(kLargestDatagram - kFrameDatagram);
            return RandomBytes(random_, length);
        }
        case FloodKind::kMixed: {
            const auto pick = below(10000);
            if (pick < 5000) return Make(FloodKind::kRandom, socket);
            if (pick < 7000) return Make(FloodKind::kNearMiss, socket);
            if (pick < 9990) return Make(FloodKind::kTruncated, socket);
            return Make(FloodKind::kOversized, socket);
        }
        case FloodKind::kRandomMacs: {
            const SimDevice device = RandomMacDevice(made_);
            socket =
                device.protocol == DeviceProtocol::kText ? SocketKind::kText : SocketKind::kBinary;
            return AnswerBytes(device, target_.client_id());
        }
    }
    socket = SocketKind::kBinary;
    return {};
}

void FloodResponder::Prepare() {
    if (!decoys_.empty()) return;
    for (const bool text : {false, true}) {
        for (int i = 0; i < kDecoyCount; ++i) {
            const SimDevice decoy =
                DecoyDevice(text ? DeviceProtocol::kText : DeviceProtocol::kBinary, i);
            decoys_.push_back(Prepared{AnswerBytes(decoy, target_.client_id()), text});
        }
    }
    for (int variant = 0; variant < kNearMissVariants; ++variant) {
        for (int i = 0; i < kDecoyCount; ++i) {
            Prepared p;
            p.bytes = NearMiss(variant, i, target_.client_id(), p.text);
            near_misses_.push_back(std::move(p));
        }
    }
}

void FloodResponder::OnTick(Clock::time_point now, const std::vector<ServedInterface>&,
                            std::vector<OutgoingDatagram>& out) {
    if (!target_.Known()) return;
    Prepare();
    const std::size_t n = pace_.Take(now);
    for (std::size_t i = 0; i < n; ++i) {
        SocketKind socket = SocketKind::kBinary;
        std::vector<std::uint8_t> bytes = Make(kind_, socket);
        const bool group = Group();
        out.push_back(target_.Aim(socket, group, std::move(bytes), now));
        ++made_;
    }
    if (pace_.Done() && !reported_ && report_ != nullptr) {
        reported_ = true;
        const double seconds = std::chrono::duration<double>(pace_.Elapsed(now)).count();
        char line[160];
        std::snprintf(line, sizeof line, "quorvex-sim: flood done: %llu %s datagrams in %.3f s\n",
                      static_cast<unsigned long long>(pace_.sent()),
                      std::string(FloodKindName(kind_)).c_str(), seconds);
        *report_ << line << std::flush;
    }
}

}  // namespace quorvex::sim
