#include "search/netlink_reader.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

namespace quorvex {

namespace {

constexpr std::size_t Align4(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

}  // namespace

std::optional<NetlinkMessage> NetlinkReader::Next() {
    if (malformed_ || offset_ >= bytes_.size()) return std::nullopt;
    const auto rest = bytes_.subspan(offset_);
    const auto header = ReadNetlinkStruct<nlmsghdr>(rest);
    if (!header || header->nlmsg_len < sizeof(nlmsghdr) || header->nlmsg_len > rest.size()) {
        malformed_ = true;
        return std::nullopt;
    }
    NetlinkMessage message;
    message.type = header->nlmsg_type;
    message.flags = header->nlmsg_flags;
    message.body = rest.subspan(sizeof(nlmsghdr), header->nlmsg_len - sizeof(nlmsghdr));
    // The last message of a datagram need not carry its padding.
    offset_ += Align4(header->nlmsg_len);
    return message;
}

NetlinkReader::Attributes::Attributes(std::span<const std::uint8_t> body, std::size_t body_size) {
    const std::size_t start = Align4(body_size);
    if (start <= body.size()) {
        bytes_ = body.subspan(start);
    } else {
        malformed_ = true;
    }
}

std::optional<NetlinkAttribute> NetlinkReader::Attributes::Next() {
    if (malformed_ || offset_ >= bytes_.size()) return std::nullopt;
    const auto rest = bytes_.subspan(offset_);
    const auto header = ReadNetlinkStruct<rtattr>(rest);
    if (!header || header->rta_len < sizeof(rtattr) || header->rta_len > rest.size()) {
        malformed_ = true;
        return std::nullopt;
    }
    NetlinkAttribute attribute;
    attribute.type = header->rta_type & NLA_TYPE_MASK;
    attribute.payload = rest.subspan(sizeof(rtattr), header->rta_len - sizeof(rtattr));
    offset_ += Align4(header->rta_len);
    return attribute;
}

std::optional<std::uint32_t> NetlinkU32(std::span<const std::uint8_t> payload) {
    return ReadNetlinkStruct<std::uint32_t>(payload);
}

std::string_view NetlinkText(std::span<const std::uint8_t> payload) {
    return ByteReader(payload).FieldText(0, payload.size());
}

}  // namespace quorvex
