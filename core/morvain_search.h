#pragma once

// The text discovery protocol "HDS/1.0": header-style messages in datagrams to
// the multicast group 239.255.255.250, port 12109. A "SEARCH" request finds
// devices, "CMD" messages change a device's network settings or HTTP port,
// and only answers that carry this instance's client id are taken.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base_search.h"

namespace quorvex {

class MorvainSearch : public BaseSearch {
public:
    static constexpr std::uint16_t kPort = 12109;
    // 239.255.255.250 in network byte order.
    static constexpr std::uint32_t kGroupAddress = 0xFAFFFFEFu;
    static constexpr int kMulticastTtl = 32;

    // The client id is made from a 32-bit value unique to the instance within
    // the process (and random across processes).
    MorvainSearch();
    // For tests: the client id is made from `instance_value`.
    explicit MorvainSearch(std::uint32_t instance_value);

    // Per interface address two sockets: one on a free port of this process
    // that sends searches and commands through that interface and hears the
    // answers sent back to it, and one on port 12109, shared with every other
    // program that searches, that hears the answers sent to the group or by
    // broadcast. A port 12109 that cannot be had is reported, not fatal.
    void OpenSockets(const LocalInterface* interfaces, std::int32_t count) override;

    // "MorvainControl-Tesslar-%X" of this instance.
    std::string_view ClientId() const { return GetText(client_id_); }

    // The codecs, free of sockets. Builders write into `buffer` and return the
    // length, or 0 (nothing built) when the type is unknown or the buffer is
    // too small. Header values are written as they stand in their fields.
    static std::size_t BuildSearchRequestBytes(std::span<std::uint8_t> buffer,
                                               std::string_view client_id);
    static std::size_t BuildCommandBytes(std::span<std::uint8_t> buffer, std::string_view client_id,
                                         const DeviceInfo& device, const NetSettings& settings,
                                         std::int32_t type);
    // An answer for `client_id`: the bytes are read as text up to the first
    // zero; the status line "HDS/1.0 200 OK" CR LF and the client id must both
    // be somewhere in it. The headers are then read in their fixed order from
    // just past the client id; a missing one leaves its field empty or 0.
    // Values longer than their field are cut at the field. Nothing for any
    // other datagram, nor for one without a whole MAC (six hexadecimal
    // numbers separated by colons).
    static std::optional<DeviceEntry> ParseAnswerBytes(std::span<const std::uint8_t> bytes,
                                                       std::string_view client_id,
                                                       std::uint32_t interface_address);

    static std::string MakeClientId(std::uint32_t instance_value);

protected:
    bool BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                            Endpoint& destination) override;
    bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length, Endpoint& destination,
                      const DeviceInfo& device, const NetSettings& settings,
                      std::int32_t type) override;
    void ParseAnswer(std::span<const std::uint8_t> bytes, std::uint32_t interface_address) override;

private:
    char client_id_[64] = {};
};

}  // namespace quorvex
