#pragma once

// The binary broadcast protocol: a 4-byte probe to 255.255.255.255 port 8600,
// fixed-layout answers, and one 324-byte command that carries a device's whole
// network configuration.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/base_search.h"

namespace quorvex {

class BrannocSearch : public BaseSearch {
public:
    static constexpr std::uint16_t kPort = 8600;
    static constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFFu;
    static constexpr std::size_t kProbeLength = 4;
    static constexpr std::size_t kCommandLength = 324;
    // An answer's fields end here; later bytes are not read.
    static constexpr std::size_t kAnswerLength = 302;

    BrannocSearch();

    // The codecs, free of sockets. Builders write into `buffer` and return the
    // length, or 0 when the buffer is too small. The command does not depend
    // on its type: every command is the full settings message.
    static std::size_t BuildSearchRequestBytes(std::span<std::uint8_t> buffer);
    static std::size_t BuildCommandBytes(std::span<std::uint8_t> buffer, const DeviceInfo& device,
                                         const NetSettings& settings);
    // A device for an answer (header 44 48 01 08), nothing for anything else.
    // Fields are read at their fixed offsets; bytes the datagram does not
    // reach count as zero, and text is cut at the message field and at the
    // record field, whichever is shorter.
    static std::optional<DeviceEntry> ParseAnswerBytes(std::span<const std::uint8_t> bytes,
                                                       std::uint32_t interface_address);
    // 1 when the software version reads as "67.x.y.z" with y above 60, else 2.
    static std::int32_t FamilyOf(std::string_view software_version);

protected:
    bool BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                            Endpoint& destination) override;
    bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length, Endpoint& destination,
                      const DeviceInfo& device, const NetSettings& settings,
                      std::int32_t type) override;
    void ParseAnswer(std::span<const std::uint8_t> bytes, std::uint32_t interface_address) override;
};

}  // namespace quorvex
