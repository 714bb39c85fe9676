#include "core/base_search.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace quorvex {

BaseSearch::BaseSearch(std::uint16_t port) : port_(port) {}

BaseSearch::~BaseSearch() = default;

void BaseSearch::SetCallback(DeviceCallback callback, void* context, std::int32_t extra) {
    callback_ = callback;
    callback_context_ = context;
    callback_extra_ = extra;
}

std::uint32_t BaseSearch::InterfaceAddress(const LocalInterface& record) {
    std::uint32_t address = 0;
    return ParseAddress(GetText(record.ip), address) ? address : 0;
}

BaseSearch::SocketRole BaseSearch::RoleFor(const LocalInterface& record, std::uint16_t port,
                                           bool sends) const {
    SocketRole role;
    role.sends = sends;
    role.interface_name = std::string(GetText(record.name));
    role.port = port;
    return role;
}

void BaseSearch::AddSocket(UdpSocket socket, std::uint32_t interface_address,
                           UdpSocket::Options options, SocketRole role) {
    const int room = socket.ReceiveBufferBytes();
    const std::uint16_t port = socket.LocalPort();
    const bool sends = role.sends;
    if (!socket.IsValid() && role.state == ListenState::kListening) {
        role.state = ListenState::kSocketFailed;
    }
    sockets_.push_back(SocketEntry{std::move(socket), interface_address, sends, false, role, port});
    // Only the socket that answers are sent back to gets helpers: a shared
    // port hears groups and broadcasts, which helpers bound to the address
    // would never see.
    if (!sends) return;
    // Without the privilege to force a large queue, the system's limit caps
    // each socket at a few hundred answers; a burst from a large site then
    // overflows one socket before the worker is even scheduled.
    if (room <= 0 || room >= answer_room_ || port == 0) return;
    const int helpers = std::min(kMaxHelperSockets, (answer_room_ + room - 1) / room);
    options.reuse_port = true;
    options.unicast_only = true;
    options.broadcast = false;
    const std::size_t first = sockets_.size();
    for (int i = 0; i < helpers; ++i) {
        UdpSocket helper = UdpSocket::OpenOnInterface(interface_address, port, options);
        if (!helper.IsValid()) break;
        sockets_.push_back(
            SocketEntry{std::move(helper), interface_address, false, true, role, port});
    }
    if (sockets_.size() > first) {
        sockets_[first].socket.SpreadOver(static_cast<std::uint32_t>(sockets_.size() - first));
    }
}

void BaseSearch::OpenAndAddSocket(const LocalInterface& record, std::uint16_t port,
                                  UdpSocket::Options options, bool sends,
                                  std::optional<GroupJoin> multicast) {
    const std::uint32_t address = InterfaceAddress(record);
    UdpSocket::Failure failure;
    UdpSocket socket = UdpSocket::OpenOnInterface(address, port, options, &failure);
    SocketRole role = RoleFor(record, port, sends);
    if (!socket.IsValid()) {
        role.state = failure.bind ? ListenState::kBindFailed : ListenState::kSocketFailed;
        role.error = failure.error;
    } else if (int error = 0;
               multicast && !socket.JoinMulticast(multicast->group, address, multicast->ttl, &error,
                                                  multicast->join)) {
        role.state = ListenState::kJoinFailed;
        role.error = error;
    }
    AddSocket(std::move(socket), address, options, std::move(role));
}

void BaseSearch::OpenSockets(const LocalInterface* interfaces, std::int32_t count) {
    CloseSockets();
    if (interfaces == nullptr || count <= 0) return;
    sockets_.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        OpenAndAddSocket(interfaces[i], 0, {.broadcast = true, .reuse_port = true}, true);
    }
}

void BaseSearch::CloseSockets() {
    for (const SocketEntry& entry : sockets_) drops_of_closed_sockets_ += entry.socket.Drops();
    sockets_.clear();
    gone_.clear();
}

void BaseSearch::MarkIfGone(const SocketEntry& entry, int error) {
    // The interface or its address vanished under the socket; the owner reads
    // the adapters again and reopens, until then the place says so.
    if (error != ENODEV && error != ENXIO && error != EADDRNOTAVAIL && error != ENETDOWN) return;
    const auto index = static_cast<std::size_t>(&entry - sockets_.data());
    if (std::find(gone_.begin(), gone_.end(), index) == gone_.end()) gone_.push_back(index);
}

void BaseSearch::CollectStatus(std::vector<SocketStatus>& out) const {
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        const SocketEntry& entry = sockets_[i];
        if (entry.helper) {
            // A helper's drops belong to the place it helps: the last one listed.
            if (!out.empty()) out.back().drops += entry.socket.Drops();
            continue;
        }
        SocketStatus status;
        status.interface_name = entry.role.interface_name;
        status.interface_address = entry.interface_address;
        status.port = entry.local_port != 0 ? entry.local_port : entry.role.port;
        status.shared_port = !entry.role.sends;
        status.state = entry.role.state;
        status.error = entry.role.error;
        if (std::find(gone_.begin(), gone_.end(), i) != gone_.end()) {
            status.state = ListenState::kInterfaceGone;
        }
        status.drops = entry.socket.Drops();
        out.push_back(std::move(status));
    }
}

void BaseSearch::CollectSockets(std::vector<int>& handles) const {
    for (const SocketEntry& entry : sockets_) {
        if (entry.socket.IsValid()) handles.push_back(entry.socket.Handle());
    }
}

void BaseSearch::SendSearch() {
    if (sockets_.empty()) return;
    std::array<std::uint8_t, kSearchBufferSize> buffer{};
    std::int32_t length = 0;
    Endpoint destination{};
    if (!BuildSearchRequest(buffer, length, destination)) return;
    if (length <= 0 || static_cast<std::size_t>(length) > buffer.size()) return;
    SendOnEveryInterface(
        std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(length)), destination);
}

std::size_t BaseSearch::SendOnEveryInterface(std::span<const std::uint8_t> bytes,
                                             const Endpoint& destination) {
    std::size_t sent = 0;
    for (const SocketEntry& entry : sockets_) {
        if (!entry.sends || !entry.socket.IsValid()) continue;
        if (entry.socket.SendTo(bytes, destination.address, destination.port)) {
            ++sent;
        } else {
            MarkIfGone(entry, errno);
        }
    }
    return sent;
}

std::uint32_t BaseSearch::AnswerInterface(std::uint32_t destination,
                                          const SocketEntry& entry) const {
    if (destination != 0 && destination != entry.interface_address) {
        for (const SocketEntry& other : sockets_) {
            if (other.interface_address == destination) return destination;
        }
    }
    return entry.interface_address;
}

std::int32_t BaseSearch::Drain(const SocketEntry& entry) {
    std::int32_t read = 0;
    while (read < kMaxDrainPerSocket) {
        const std::size_t count = batch_->ReadFrom(entry.socket);
        for (std::size_t i = 0; i < count; ++i) {
            answer_source_ = batch_->Source(i);
            ParseAnswer(batch_->Bytes(i), AnswerInterface(batch_->Destination(i), entry));
        }
        answer_source_ = 0;
        read += static_cast<std::int32_t>(count);
        // A short batch means the queue was empty when it was read.
        if (count < batch_->capacity()) break;
    }
    return read;
}

std::int32_t BaseSearch::ReceiveAnswers(int timeout_ms) {
    poll_.Clear();
    for (const SocketEntry& entry : sockets_) {
        if (entry.socket.IsValid()) poll_.Add(entry.socket.Handle());
    }
    if (poll_.Wait(timeout_ms) <= 0) return 0;
    if (!batch_) batch_ = std::make_unique<ReceiveBatch>(kBatchSize);
    std::int32_t read = 0;
    std::size_t index = 0;
    for (const SocketEntry& entry : sockets_) {
        if (!entry.socket.IsValid()) continue;
        if (poll_.Readable(index++)) read += Drain(entry);
    }
    return read;
}

void BaseSearch::QueueCommand(const DeviceInfo& device, const NetSettings& settings,
                              std::int32_t type, std::uint32_t interface_address) {
    QueuedCommand queued{};
    queued.command.device = device;
    queued.command.settings = settings;
    queued.command.type = type;
    queued.interface_address = interface_address;
    std::lock_guard lock(queue_lock_);
    command_queue_.push_back(queued);
}

std::size_t BaseSearch::QueuedCommands() const {
    std::lock_guard lock(queue_lock_);
    return command_queue_.size();
}

void BaseSearch::FlushCommands() {
    if (sockets_.empty()) return;
    // Taken out whole under the lock and sent after it, so that the window's
    // thread never waits on a send.
    std::vector<QueuedCommand> commands;
    {
        std::lock_guard lock(queue_lock_);
        commands.swap(command_queue_);
    }
    for (const QueuedCommand& queued : commands) {
        // A command carries the device's credentials: it leaves only through
        // the interface that heard the device, never on the other networks.
        const SocketEntry* target = nullptr;
        for (const SocketEntry& entry : sockets_) {
            if (entry.sends && entry.interface_address == queued.interface_address &&
                entry.socket.IsValid()) {
                target = &entry;
                break;
            }
        }
        if (target == nullptr) continue;
        std::array<std::uint8_t, kCommandBufferSize> buffer{};
        std::int32_t length = 0;
        Endpoint destination{};
        if (!BuildCommand(buffer, length, destination, queued.command.device,
                          queued.command.settings, queued.command.type)) {
            continue;
        }
        if (length <= 0 || static_cast<std::size_t>(length) > buffer.size()) continue;
        if (target->socket.SendTo(
                std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(length)),
                destination.address, destination.port)) {
            sent_.fetch_add(1);
        }
    }
    flushed_.fetch_add(commands.size());
}

void BaseSearch::DeliverDevice(const DeviceEntry* entry) {
    if (entry == nullptr || callback_ == nullptr) return;
    // The parsers know only the bytes; the sender is known here.
    DeviceEntry heard = *entry;
    heard.sender_address = answer_source_;
    callback_(&heard, callback_context_, callback_extra_);
}

std::uint64_t BaseSearch::DroppedDatagrams() const {
    std::uint64_t drops = drops_of_closed_sockets_;
    for (const SocketEntry& entry : sockets_) drops += entry.socket.Drops();
    return drops;
}

}  // namespace quorvex
