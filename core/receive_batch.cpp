#include "core/receive_batch.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "core/udp_socket.h"

namespace quorvex {

namespace {

constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo));

}  // namespace

struct ReceiveBatch::Storage {
    explicit Storage(std::size_t slots)
        : bytes(std::make_unique_for_overwrite<std::uint8_t[]>(slots * kSlotSize)),
          control(slots * kControlSize),
          parts(slots),
          headers(slots),
          destinations(slots, 0),
          senders(slots) {
        for (std::size_t i = 0; i < slots; ++i) {
            parts[i].iov_base = bytes.get() + i * kSlotSize;
            parts[i].iov_len = kSlotSize;
        }
    }

    std::unique_ptr<std::uint8_t[]> bytes;
    std::vector<unsigned char> control;
    std::vector<iovec> parts;
    std::vector<mmsghdr> headers;
    std::vector<std::uint32_t> destinations;
    std::vector<sockaddr_in> senders;
    std::size_t count = 0;
};

ReceiveBatch::ReceiveBatch(std::size_t slots)
    : storage_(std::make_unique<Storage>(slots == 0 ? 1 : slots)) {}

ReceiveBatch::~ReceiveBatch() = default;

std::size_t ReceiveBatch::capacity() const {
    return storage_->headers.size();
}

std::size_t ReceiveBatch::ReadFrom(const UdpSocket& socket) {
    Storage& s = *storage_;
    s.count = 0;
    if (!socket.IsValid()) return 0;
    const std::size_t slots = s.headers.size();
    for (std::size_t i = 0; i < slots; ++i) {
        msghdr& h = s.headers[i].msg_hdr;
        h = msghdr{};
        h.msg_iov = &s.parts[i];
        h.msg_iovlen = 1;
        s.senders[i] = sockaddr_in{};
        h.msg_name = &s.senders[i];
        h.msg_namelen = sizeof(sockaddr_in);
        h.msg_control = s.control.data() + i * kControlSize;
        h.msg_controllen = kControlSize;
        s.headers[i].msg_len = 0;
    }
    const int read = recvmmsg(socket.Handle(), s.headers.data(), static_cast<unsigned>(slots),
                              MSG_DONTWAIT, nullptr);
    if (read <= 0) return 0;
    s.count = static_cast<std::size_t>(read);
    for (std::size_t i = 0; i < s.count; ++i) {
        s.destinations[i] = 0;
        msghdr& h = s.headers[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                s.destinations[i] = info.ipi_addr.s_addr;
            }
        }
    }
    return s.count;
}

std::span<const std::uint8_t> ReceiveBatch::Bytes(std::size_t index) const {
    const Storage& s = *storage_;
    if (index >= s.count) return {};
    const std::size_t length =
        s.headers[index].msg_len < kSlotSize ? s.headers[index].msg_len : kSlotSize;
    return {s.bytes.get() + index * kSlotSize, length};
}

std::uint32_t ReceiveBatch::Destination(std::size_t index) const {
    return index < storage_->count ? storage_->destinations[index] : 0;
}

std::uint32_t ReceiveBatch::Source(std::size_t index) const {
    if (index >= storage_->count) return 0;
    const sockaddr_in& sender = storage_->senders[index];
    return sender.sin_family == AF_INET ? sender.sin_addr.s_addr : 0;
}

}  // namespace quorvex
