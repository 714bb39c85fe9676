// The transport over real sockets on loopback, unicast to 127.0.0.x only: no
// search, nothing broadcast or multicast (those run in private namespaces).

#include "core/base_search.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace quorvex {
namespace {

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

// The devices' side: a socket on 127.0.0.1.
struct Peer {
    UdpSocket socket = UdpSocket::OpenOnInterface(Address("127.0.0.1"), 0, {});
    void SendTo(std::string_view bytes, const char* address, std::uint16_t port) const {
        socket.SendTo({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                      Address(address), port);
    }
    // "<bytes> from <source>" of each datagram until none came for 300 ms, sorted.
    std::vector<std::string> ReceiveAll() const {
        std::vector<std::string> received;
        pollfd entry{socket.Handle(), POLLIN, 0};
        char buffer[512];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        while (poll(&entry, 1, 300) > 0) {
            const ssize_t n = recvfrom(socket.Handle(), buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &size);
            received.push_back(std::string(buffer, std::max<ssize_t>(n, 0)) + " from " +
                               AddressText(from.sin_addr.s_addr));
        }
        std::sort(received.begin(), received.end());
        return received;
    }
};

// Sends each command to the peer as the device's UID; type 99 cannot be built.
// Keeps every answer whole with the interface it was credited to.
class LoopbackProtocol : public BaseSearch {
public:
    // The room a privileged socket gets on its own, so that no helper
    // sockets join in and the sockets are exactly one per address.
    explicit LoopbackProtocol(const Peer& peer) : BaseSearch(peer.socket.LocalPort()) {
        SetAnswerRoom(kPrivilegedRoom);
    }
    static constexpr int kPrivilegedRoom = 8 * 1024 * 1024;
    void Open(std::vector<const char*> addresses) {
        std::vector<LocalInterface> records(addresses.size());
        for (std::size_t i = 0; i < records.size(); ++i) SetText(records[i].ip, addresses[i]);
        OpenSockets(records.data(), static_cast<std::int32_t>(records.size()));
    }
    std::uint16_t SocketPort(std::size_t index) const {
        std::vector<int> handles;
        CollectSockets(handles);
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (index >= handles.size()) return 0;
        getsockname(handles[index], reinterpret_cast<sockaddr*>(&local), &size);
        return ntohs(local.sin_port);
    }
    // Receives until `count` answers were parsed (10 s at most); the number of calls.
    int ReceiveUntil(std::size_t count) {
        int calls = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (; answers.size() < count && std::chrono::steady_clock::now() < deadline; ++calls)
            ReceiveAnswers(1000);
        return calls;
    }
    std::vector<std::pair<std::string, std::string>> answers;  // bytes, interface
    std::vector<std::string> built;

protected:
    bool BuildSearchRequest(std::span<std::uint8_t>, std::int32_t&, Endpoint&) override {
        ADD_FAILURE() << "no search is sent outside a private network";
        return false;
    }
    bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length, Endpoint& destination,
                      const DeviceInfo& device, const NetSettings&, std::int32_t type) override {
        const std::string_view uid = GetText(device.uid);
        built.emplace_back(uid);
        std::memcpy(buffer.data(), uid.data(), uid.size());
        length = static_cast<std::int32_t>(uid.size());
        destination = Endpoint{Address("127.0.0.1"), port_};
        return type != 99;
    }
    void ParseAnswer(std::span<const std::uint8_t> bytes, std::uint32_t interface) override {
        answers.emplace_back(std::string(bytes.begin(), bytes.end()), AddressText(interface));
        const DeviceEntry entry{};
        DeliverDevice(&entry);
    }
};

TEST(BaseSearchQueue, CommandsLeaveOnlyThroughTheInterfaceThatHeardTheDevice) {
    Peer peer;
    LoopbackProtocol protocol(peer);
    for (const auto& [uid, type, interface] :
         std::vector<std::tuple<const char*, int, const char*>>{{"first", 1, "127.0.0.2"},
                                                                {"broken", 99, "127.0.0.1"},
                                                                {"second", 1, "127.0.0.1"},
                                                                {"elsewhere", 1, "10.99.99.99"},
                                                                {"third", 2, "127.0.0.2"}}) {
        DeviceInfo device{};
        SetText(device.uid, uid);
        protocol.QueueCommand(device, NetSettings{}, type, Address(interface));
    }
    protocol.FlushCommands();  // no sockets yet: the queue waits for them
    EXPECT_EQ(protocol.QueuedCommands(), 5u);
    EXPECT_TRUE(protocol.built.empty());

    protocol.Open({"127.0.0.1", "127.0.0.2"});
    protocol.FlushCommands();
    protocol.FlushCommands();  // the first flush emptied the queue
    // In queue order; the unbuildable one does not stop the rest, the one for
    // an interface without a socket is never built.
    EXPECT_EQ(protocol.built, (std::vector<std::string>{"first", "broken", "second", "third"}));
    EXPECT_EQ(peer.ReceiveAll(),
              (std::vector<std::string>{"first from 127.0.0.2", "second from 127.0.0.1",
                                        "third from 127.0.0.2"}));
}

TEST(BaseSearchReceive, OneCallDrainsEveryWaitingDatagramToItsInterface) {
    Peer peer;
    LoopbackProtocol protocol(peer);
    int delivered = 0;
    protocol.SetCallback(
        [](const DeviceEntry*, void* count, std::int32_t) { ++*static_cast<int*>(count); },
        &delivered, 0);
    protocol.Open({"127.0.0.1", "not an address", "127.0.0.2"});  // the middle one gets no socket
    const std::uint16_t first = protocol.SocketPort(0), second = protocol.SocketPort(1);
    ASSERT_NE(second, 0);
    ASSERT_EQ(protocol.SocketPort(2), 0);
    // Far more than one batch. The last is heard by the first socket but sent
    // to the second interface's address, which it is credited to.
    for (int i = 0; i < 498; ++i) peer.SendTo("first", "127.0.0.1", first);
    peer.SendTo("second", "127.0.0.2", second);
    peer.SendTo("second via first", "127.0.0.2", first);
    EXPECT_LE(protocol.ReceiveUntil(500), 5);  // one datagram per call would take 500
    EXPECT_EQ(protocol.answers.size(), 500u);
    EXPECT_EQ(delivered, 500);
    for (const auto& [bytes, interface] : protocol.answers)
        EXPECT_EQ(interface, bytes == "first" ? "127.0.0.1" : "127.0.0.2") << bytes;
}

TEST(BaseSearchReceive, EveryDatagramIsParsedAtItsOwnLength) {
    Peer peer;
    LoopbackProtocol protocol(peer);
    protocol.Open({"127.0.0.1"});
    // The largest UDP payload, then shorter ones in the same memory: none
    // may show a byte of an earlier datagram.
    const std::vector<std::string> sent = {std::string(65507, 'L'), "B", std::string(1000, 'C'),
                                           ""};
    for (const std::string& bytes : sent) peer.SendTo(bytes, "127.0.0.1", protocol.SocketPort(0));
    protocol.ReceiveUntil(sent.size());
    ASSERT_EQ(protocol.answers.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(protocol.answers[i].first, sent[i]);
}

}  // namespace
}  // namespace quorvex
