// The transport over real sockets on the loopback interface. Everything here
// is unicast to 127.0.0.x: no search is sent, and nothing goes to a broadcast
// or multicast address (those tests run in private network namespaces).

#include "core/base_search.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvex {
namespace {

using namespace std::chrono_literals;

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

LocalInterface Interface(const char* ip) {
    LocalInterface record{};
    SetText(record.ip, ip);
    return record;
}

std::uint16_t PortOf(int handle) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    getsockname(handle, reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
}

// A plain socket on 127.0.0.1 that plays the device side.
class Peer {
public:
    Peer() : handle_(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(handle_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        int size = 8 * 1024 * 1024;
        setsockopt(handle_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    }
    ~Peer() { close(handle_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    std::uint16_t port() const { return PortOf(handle_); }

    void SendTo(const std::string& bytes, const char* address, std::uint16_t port) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = Address(address);
        to.sin_port = htons(port);
        ASSERT_EQ(sendto(handle_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }

    struct Received {
        std::string bytes;
        std::string source;  // dotted address of the sender
    };
    // The next datagram, waiting at most `deadline`.
    std::optional<Received> Receive(std::chrono::milliseconds deadline) const {
        pollfd entry{handle_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(deadline.count())) <= 0) return std::nullopt;
        std::string buffer(65536, '\0');
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = recvfrom(handle_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) return std::nullopt;
        buffer.resize(static_cast<std::size_t>(n));
        return Received{buffer, AddressText(from.sin_addr.s_addr)};
    }

private:
    int handle_;
};

// A protocol whose every datagram goes to the peer, by unicast. Commands
// carry the device's UID; type 99 cannot be built. Each answer is kept whole
// with the interface it was credited to.
class LoopbackProtocol : public BaseSearch {
public:
    explicit LoopbackProtocol(std::uint16_t peer_port) : BaseSearch(peer_port) {}

    struct Answer {
        std::string bytes;
        std::uint32_t interface_address;
    };
    std::vector<Answer> answers;
    std::atomic<int> commands_built{0};
    std::vector<std::string> build_order;

    std::vector<int> Sockets() const {
        std::vector<int> handles;
        CollectSockets(handles);
        return handles;
    }

protected:
    bool BuildSearchRequest(std::span<std::uint8_t>, std::int32_t&, Endpoint&) override {
        ADD_FAILURE() << "no search is sent outside a private network";
        return false;
    }
    bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length, Endpoint& destination,
                      const DeviceInfo& device, const NetSettings&, std::int32_t type) override {
        build_order.emplace_back(GetText(device.uid));
        if (type == 99) return false;
        ++commands_built;
        const std::string_view uid = GetText(device.uid);
        std::memcpy(buffer.data(), uid.data(), uid.size());
        length = static_cast<std::int32_t>(uid.size());
        destination = Endpoint{Address("127.0.0.1"), port_};
        return true;
    }
    void ParseAnswer(std::span<const std::uint8_t> bytes,
                     std::uint32_t interface_address) override {
        answers.push_back({std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           interface_address});
        DeviceEntry entry{};
        entry.interface_address = interface_address;
        DeliverDevice(&entry);
    }
};

DeviceInfo Device(const char* uid) {
    DeviceInfo device{};
    SetText(device.uid, uid);
    return device;
}

// Reads from the peer until `count` datagrams arrived (10 s at most), then
// briefly checks that no further one follows.
std::vector<Peer::Received> ReceiveExactly(const Peer& peer, std::size_t count) {
    std::vector<Peer::Received> received;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        if (auto datagram = peer.Receive(100ms)) received.push_back(*datagram);
    }
    while (auto extra = peer.Receive(200ms)) received.push_back(*extra);
    return received;
}

TEST(BaseSearchQueue, CommandsLeaveOnlyThroughTheInterfaceThatHeardTheDevice) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    const LocalInterface interfaces[] = {Interface("127.0.0.1"), Interface("127.0.0.2")};
    protocol.OpenSockets(interfaces, 2);
    ASSERT_EQ(protocol.Sockets().size(), 2u);

    protocol.QueueCommand(Device("first"), NetSettings{}, 1, Address("127.0.0.2"));
    protocol.QueueCommand(Device("broken"), NetSettings{}, 99, Address("127.0.0.1"));
    protocol.QueueCommand(Device("second"), NetSettings{}, 1, Address("127.0.0.1"));
    protocol.QueueCommand(Device("elsewhere"), NetSettings{}, 1, Address("10.99.99.99"));
    protocol.QueueCommand(Device("third"), NetSettings{}, 2, Address("127.0.0.2"));
    protocol.FlushCommands();
    EXPECT_EQ(protocol.QueuedCommands(), 0u);

    // Built in queue order; the one that cannot be built does not stop the
    // rest, and the one for an interface without a socket is never built.
    EXPECT_EQ(protocol.build_order,
              (std::vector<std::string>{"first", "broken", "second", "third"}));
    auto received = ReceiveExactly(peer, 3);
    std::sort(received.begin(), received.end(),
              [](const auto& a, const auto& b) { return a.bytes < b.bytes; });
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].bytes, "first");
    EXPECT_EQ(received[0].source, "127.0.0.2");
    EXPECT_EQ(received[1].bytes, "second");
    EXPECT_EQ(received[1].source, "127.0.0.1");
    EXPECT_EQ(received[2].bytes, "third");
    EXPECT_EQ(received[2].source, "127.0.0.2");

    // The queue was emptied: a second flush sends nothing.
    protocol.FlushCommands();
    EXPECT_EQ(protocol.build_order.size(), 4u);
    protocol.CloseSockets();
}

TEST(BaseSearchQueue, WithoutSocketsCommandsWaitForThem) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    protocol.CloseSockets();  // harmless before anything is open
    protocol.OpenSockets(nullptr, 0);
    const LocalInterface none[] = {Interface("127.0.0.1")};
    protocol.OpenSockets(none, 0);
    EXPECT_TRUE(protocol.Sockets().empty());
    EXPECT_EQ(protocol.ReceiveAnswers(0), 0);

    protocol.QueueCommand(Device("one"), NetSettings{}, 1, Address("127.0.0.1"));
    protocol.QueueCommand(Device("two"), NetSettings{}, 1, Address("127.0.0.1"));
    protocol.FlushCommands();
    EXPECT_EQ(protocol.QueuedCommands(), 2u);
    EXPECT_TRUE(protocol.build_order.empty());

    protocol.OpenSockets(none, 1);
    protocol.FlushCommands();
    EXPECT_EQ(protocol.QueuedCommands(), 0u);
    auto received = ReceiveExactly(peer, 2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(protocol.build_order, (std::vector<std::string>{"one", "two"}));

    protocol.CloseSockets();
    protocol.CloseSockets();
    EXPECT_TRUE(protocol.Sockets().empty());
}

TEST(BaseSearchQueue, CommandsQueuedFromAnotherThreadAreAllSent) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    const LocalInterface interfaces[] = {Interface("127.0.0.1")};
    protocol.OpenSockets(interfaces, 1);
    constexpr int kCommands = 2000;
    std::thread window([&] {
        for (int i = 0; i < kCommands; ++i) {
            protocol.QueueCommand(Device("c"), NetSettings{}, 1, Address("127.0.0.1"));
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (protocol.commands_built < kCommands && std::chrono::steady_clock::now() < deadline) {
        protocol.FlushCommands();
    }
    window.join();
    protocol.FlushCommands();
    EXPECT_EQ(protocol.commands_built, kCommands);
    EXPECT_EQ(protocol.QueuedCommands(), 0u);
    protocol.CloseSockets();
}

TEST(BaseSearchReceive, OneCallDrainsEveryWaitingDatagram) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    int delivered = 0;
    protocol.SetCallback(
        [](const DeviceEntry*, void* context, std::int32_t extra) {
            EXPECT_EQ(extra, 7);
            ++*static_cast<int*>(context);
        },
        &delivered, 7);
    const LocalInterface interfaces[] = {Interface("127.0.0.1")};
    protocol.OpenSockets(interfaces, 1);
    ASSERT_EQ(protocol.Sockets().size(), 1u);
    const std::uint16_t port = PortOf(protocol.Sockets()[0]);

    // Far more than one batch waits before the first receive.
    constexpr int kDatagrams = 500;
    for (int i = 0; i < kDatagrams; ++i)
        peer.SendTo("answer " + std::to_string(i), "127.0.0.1", port);

    int calls = 0;
    int read = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (read < kDatagrams && std::chrono::steady_clock::now() < deadline) {
        read += protocol.ReceiveAnswers(1000);
        ++calls;
    }
    EXPECT_EQ(read, kDatagrams);
    EXPECT_EQ(delivered, kDatagrams);
    // Reading one datagram per call would take 500 calls; a drain takes one
    // (a few if the kernel was still delivering when it started).
    EXPECT_LE(calls, 5);
    for (const auto& answer : protocol.answers) {
        EXPECT_EQ(answer.interface_address, Address("127.0.0.1"));
    }
    protocol.CloseSockets();
}

TEST(BaseSearchReceive, EveryDatagramIsParsedAtItsOwnLength) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    const LocalInterface interfaces[] = {Interface("127.0.0.1")};
    protocol.OpenSockets(interfaces, 1);
    const std::uint16_t port = PortOf(protocol.Sockets()[0]);

    // The largest UDP payload, then shorter ones that reuse the same memory:
    // none may show a byte of an earlier datagram.
    const std::string largest(65507, 'L');
    peer.SendTo(largest, "127.0.0.1", port);
    peer.SendTo("B", "127.0.0.1", port);
    peer.SendTo(std::string(1000, 'C'), "127.0.0.1", port);
    peer.SendTo("", "127.0.0.1", port);

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (protocol.answers.size() < 4 && std::chrono::steady_clock::now() < deadline) {
        protocol.ReceiveAnswers(100);
    }
    ASSERT_EQ(protocol.answers.size(), 4u);
    std::vector<std::string> seen;
    for (const auto& answer : protocol.answers) seen.push_back(answer.bytes);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen[0], "");
    EXPECT_EQ(seen[1], "B");
    EXPECT_EQ(seen[2], std::string(1000, 'C'));
    EXPECT_EQ(seen[3], largest);
    protocol.CloseSockets();
}

TEST(BaseSearchReceive, AnswersAreCreditedToTheInterfaceTheyWereSentTo) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    // Entries that name no usable address keep no socket and are skipped; the
    // others still work.
    const LocalInterface interfaces[] = {Interface("127.0.0.1"), Interface("not an address"),
                                         Interface("127.0.0.2"), Interface("0.0.0.0"),
                                         Interface("255.255.255.255")};
    protocol.OpenSockets(interfaces, 5);
    const auto sockets = protocol.Sockets();
    ASSERT_EQ(sockets.size(), 2u);
    const std::uint16_t first = PortOf(sockets[0]);
    const std::uint16_t second = PortOf(sockets[1]);

    peer.SendTo("to-first", "127.0.0.1", first);
    peer.SendTo("to-second", "127.0.0.2", second);
    // Heard by the first socket (its device holds both addresses) but sent to
    // the second interface's address.
    peer.SendTo("to-second-via-first", "127.0.0.2", first);

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (protocol.answers.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        protocol.ReceiveAnswers(100);
    }
    ASSERT_EQ(protocol.answers.size(), 3u);
    for (const auto& answer : protocol.answers) {
        const char* expected = answer.bytes == "to-first" ? "127.0.0.1" : "127.0.0.2";
        EXPECT_EQ(AddressText(answer.interface_address), expected) << answer.bytes;
    }
    protocol.CloseSockets();
}

TEST(BaseSearchReceive, KernelDropsAreCounted) {
    Peer peer;
    LoopbackProtocol protocol(peer.port());
    const LocalInterface interfaces[] = {Interface("127.0.0.1")};
    protocol.OpenSockets(interfaces, 1);
    const std::uint16_t port = PortOf(protocol.Sockets()[0]);
    EXPECT_EQ(protocol.DroppedDatagrams(), 0u);

    // Far more than the receive queue holds, sent before anything is read.
    const std::string large(60000, 'x');
    for (int i = 0; i < 400; ++i) peer.SendTo(large, "127.0.0.1", port);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (protocol.DroppedDatagrams() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    const std::uint64_t drops = protocol.DroppedDatagrams();
    EXPECT_GT(drops, 0u);
    const int read = protocol.ReceiveAnswers(100);
    EXPECT_GT(read, 0);
    EXPECT_LE(static_cast<std::uint64_t>(read) + drops, 400u);
    // Still counted after the sockets are gone.
    protocol.CloseSockets();
    EXPECT_GE(protocol.DroppedDatagrams(), drops);
}

}  // namespace
}  // namespace quorvex
