#include "sim/standard_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>

#include "sim/hostile_stream.h"
#include "sim/http_request_reader.h"
#include "sim/text_device_protocol.h"
#include "sim/wsd_device_protocol.h"

namespace quorvex::sim {

namespace {

constexpr std::size_t kMaxConnections = 256;
constexpr std::size_t kRememberedProbes = 256;
constexpr auto kIdle = std::chrono::seconds(30);

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    ~UniqueFd() { Reset(); }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

std::uint32_t Address(const std::string& text) {
    in_addr a{};
    ::inet_pton(AF_INET, text.c_str(), &a);
    return a.s_addr;
}

UniqueFd Listen(const std::string& ip, std::uint16_t port, std::string& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return fd;
    }
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = Address(ip);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd.get(), 64) != 0) {
        error = "listen at " + ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return UniqueFd();
    }
    return fd;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        default:
            return "Internal Server Error";
    }
}

std::string Serialize(const HttpReply& reply, bool close) {
    std::string out =
        "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
        "\r\nServer: quorvex-sim\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n";
    for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
    out += close ? "Connection: close\r\n\r\n" : "\r\n";
    return out + reply.body;
}

}  // namespace

struct StandardService::Camera {
    explicit Camera(SimDevice device) : camera(std::move(device)) {}
    StandardCamera camera;
    std::size_t interface = 0;  // into interfaces_
    UniqueFd listener;
};

struct StandardService::Connection {
    UniqueFd fd;
    std::size_t camera = 0;
    std::uint32_t peer = 0;  // network byte order
    std::uint16_t peer_port = 0;
    std::vector<std::uint8_t> in;
    std::string out;
    // A reply that goes out piece by piece; the connection ends with it.
    std::optional<HostileStream> stream;
    bool continued = false;  // "100 Continue" sent for the request being read
    bool close_after = false;
    Clock::time_point idle_until;
};

StandardService::StandardService(std::vector<SimDevice> devices,
                                 std::vector<ServedInterface> interfaces, DatagramLog* log,
                                 std::ostream* errors)
    : interfaces_(std::move(interfaces)), log_(log), errors_(errors) {
    for (SimDevice& d : devices)
        if (d.standard.on) cameras_.push_back(std::make_unique<Camera>(std::move(d)));
}

StandardService::~StandardService() = default;

bool StandardService::Open(std::string& error) {
    if (interfaces_.empty() && !cameras_.empty()) {
        error = "no interface for the standard cameras";
        return false;
    }
    for (auto& c : cameras_) {
        const SimDevice& d = c->camera.device();
        const std::uint32_t own = ntohl(Address(d.ip));
        for (std::size_t i = 0; i < interfaces_.size(); ++i) {
            const std::uint32_t mask = ntohl(interfaces_[i].mask);
            if ((own & mask) == (ntohl(interfaces_[i].address) & mask)) {
                c->interface = i;
                break;
            }
        }
        if (!addresses_.Add(interfaces_[c->interface].name, d.ip, c->camera.prefix_length(), error))
            return false;
        c->listener = Listen(d.ip, d.http_port, error);
        if (c->listener.get() < 0) return false;
    }
    return true;
}

void StandardService::OnDatagram(const ReceivedDatagram& d, Clock::time_point now,
                                 std::vector<OutgoingDatagram>& out) {
    if (d.socket != SocketKind::kWsd || cameras_.empty()) return;
    const auto probe = ParseWsdProbe(d.bytes);
    if (!probe) return;
    // A probe sent to one address is answered by the camera there alone.
    const std::uint32_t to = d.destination_address;
    const bool directed = to != 0 && to != Address(kTextGroup) && to != INADDR_BROADCAST;
    const std::string seen = std::to_string(d.interface_index) + " " + probe->message_id;
    if (std::find(seen_.begin(), seen_.end(), seen) != seen_.end()) return;
    seen_.push_back(seen);
    if (seen_.size() > kRememberedProbes) seen_.pop_front();
    for (const auto& c : cameras_) {
        const SimDevice& device = c->camera.device();
        if (c->interface != d.interface_index || !AnswersWsdProbe(device, *probe)) continue;
        if (directed && Address(device.ip) != to) continue;
        const std::string text = BuildWsdProbeMatches(device, probe->message_id, sequence_++);
        OutgoingDatagram o;
        o.interface_index = d.interface_index;
        o.socket = SocketKind::kWsd;
        o.bytes.assign(text.begin(), text.end());
        // A directed probe is answered to its sender, whatever the reply mode.
        const bool group = !directed && EffectiveReply(device) == ReplyMode::kMulticast;
        o.address = group ? Address(kTextGroup) : d.source_address;
        o.port = group ? kWsdPort : d.source_port;
        o.due = now + std::chrono::milliseconds(device.reply_delay_ms);
        o.source = Address(device.ip);
        out.push_back(std::move(o));
    }
}

void StandardService::Announce(const Camera& c, bool bye, Clock::time_point now,
                               std::vector<OutgoingDatagram>& out) {
    const SimDevice& device = c.camera.device();
    const std::string text =
        bye ? BuildWsdBye(device, sequence_++) : BuildWsdHello(device, sequence_++);
    OutgoingDatagram o;
    o.interface_index = c.interface;
    o.socket = SocketKind::kWsd;
    o.bytes.assign(text.begin(), text.end());
    o.address = Address(kTextGroup);
    o.port = kWsdPort;
    o.due = now;
    o.source = Address(device.ip);
    out.push_back(std::move(o));
}

void StandardService::Move(std::size_t index, Clock::time_point now,
                           std::vector<OutgoingDatagram>& out) {
    Camera& c = *cameras_[index];
    const StandardCamera::Move to = *c.camera.pending_move();
    const std::string from = c.camera.device().ip;
    std::string error;
    // The new address and listener first, so a failure leaves the camera
    // where it was.
    UniqueFd listener;
    if (addresses_.Add(interfaces_[c.interface].name, to.ip, to.prefix_length, error))
        listener = Listen(to.ip, to.port, error);
    if (listener.get() < 0 && to.ip == from && to.port == c.camera.device().http_port) {
        c.listener.Reset();  // the same place: let go of it, then take it again
        listener = Listen(to.ip, to.port, error);
    }
    Announce(c, true, now, out);
    if (listener.get() < 0) {
        if (errors_)
            *errors_ << "quorvex-sim: " << c.camera.device().endpoint << ": " << error << "\n";
        c.camera.Moved();  // settles the move where it failed; it is not retried
        return;
    }
    c.listener = std::move(listener);
    // A moving camera drops its connections, as a real one does.
    std::erase_if(connections_, [&](const auto& k) { return k->camera == index; });
    if (from != to.ip) retired_.emplace_back(from, now + std::chrono::milliseconds(50));
    c.camera.Moved();
    Announce(c, false, now, out);
}

void StandardService::OnTick(Clock::time_point now, const std::vector<ServedInterface>&,
                             std::vector<OutgoingDatagram>& out) {
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const auto& move = cameras_[i]->camera.pending_move();
        if (move && move->due <= now) Move(i, now, out);
    }
    for (const auto& k : connections_)
        if (k->stream && k->out.empty()) k->out = k->stream->Next(now);
    std::erase_if(connections_, [&](const auto& k) {
        return k->idle_until <= now || (k->stream && k->out.empty() && k->stream->Finished());
    });
    std::erase_if(retired_, [&](const auto& r) {
        if (r.second > now) return false;
        // A camera may have come back to it in the meantime.
        if (std::any_of(cameras_.begin(), cameras_.end(),
                        [&](const auto& c) { return c->camera.device().ip == r.first; }))
            return true;
        std::string error;
        if (!addresses_.Remove(r.first, error) && errors_)
            *errors_ << "quorvex-sim: " << error << "\n";
        return true;
    });
}

Clock::time_point StandardService::NextTick(Clock::time_point now) const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& c : cameras_)
        if (const auto& move = c->camera.pending_move()) next = std::min(next, move->due);
    for (const auto& r : retired_) next = std::min(next, r.second);
    for (const auto& k : connections_)
        if (k->stream && k->out.empty() && !k->stream->Finished())
            next = std::min(next, k->stream->Due());
    return std::max(now, next);
}

void StandardService::AppendPollFds(std::vector<pollfd>& fds) {
    polled_.clear();
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        if (cameras_[i]->listener.get() < 0) continue;
        fds.push_back(pollfd{cameras_[i]->listener.get(), POLLIN, 0});
        polled_.push_back(static_cast<int>(i));
    }
    for (std::size_t i = 0; i < connections_.size(); ++i) {
        const Connection& c = *connections_[i];
        fds.push_back(pollfd{c.fd.get(), static_cast<short>(c.out.empty() ? POLLIN : POLLOUT), 0});
        polled_.push_back(-1 - static_cast<int>(i));
    }
}

void StandardService::OnPolled(std::span<const pollfd> fds, Clock::time_point now,
                               std::vector<OutgoingDatagram>&) {
    std::vector<bool> done(connections_.size(), false);
    const std::size_t existing = connections_.size();
    for (std::size_t k = 0; k < fds.size() && k < polled_.size(); ++k) {
        if (fds[k].revents == 0) continue;
        if (polled_[k] >= 0) {
            Accept(static_cast<std::size_t>(polled_[k]), now);
        } else {
            const auto i = static_cast<std::size_t>(-1 - polled_[k]);
            if (i < existing) done[i] = !Serve(*connections_[i], fds[k].revents, now);
        }
    }
    for (std::size_t i = existing; i-- > 0;)
        if (done[i]) connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
}

void StandardService::Accept(std::size_t camera, Clock::time_point now) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        UniqueFd fd(::accept4(cameras_[camera]->listener.get(), reinterpret_cast<sockaddr*>(&peer),
                              &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (fd.get() < 0) return;
        if (connections_.size() >= kMaxConnections) continue;  // closed at once
        auto c = std::make_unique<Connection>();
        c->fd = std::move(fd);
        c->camera = camera;
        c->peer = peer.sin_addr.s_addr;
        c->peer_port = ntohs(peer.sin_port);
        c->idle_until = now + kIdle;
        connections_.push_back(std::move(c));
    }
}

bool StandardService::Serve(Connection& c, short revents, Clock::time_point now) {
    c.idle_until = now + kIdle;
    if (!c.out.empty()) {
        const ssize_t sent = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (sent < 0) return errno == EAGAIN;
        c.out.erase(0, static_cast<std::size_t>(sent));
        if (!c.out.empty()) return true;
        if (c.stream) {
            // One piece a turn: the loop serves every other camera in between.
            if (c.stream->Finished()) return false;
            c.out = c.stream->Next(now);
            return true;
        }
        if (c.close_after) return false;
        // A request that came in behind the last one is answered now.
        return c.in.empty() || Process(c, now);
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) == 0) return true;
    std::uint8_t buffer[16384];
    const ssize_t got = ::recv(c.fd.get(), buffer, sizeof buffer, 0);
    if (got <= 0) return got < 0 && errno == EAGAIN;
    // While a stream goes out, whatever else the client sends is dropped;
    // only its going away matters.
    if (c.stream) return true;
    c.in.insert(c.in.end(), buffer, buffer + got);
    return Process(c, now);
}

bool StandardService::Process(Connection& c, Clock::time_point now) {
    HttpRequestHead head;
    std::size_t head_size = 0;
    const HttpReadStatus status = ReadHttpRequest(c.in, head, head_size);
    if (status == HttpReadStatus::kIncomplete) {
        if (head_size > 0 && head.expects_continue && !c.continued) {
            c.continued = true;
            c.out = "HTTP/1.1 100 Continue\r\n\r\n";
        }
        return true;
    }
    Camera& camera = *cameras_[c.camera];
    const SimDevice& device = camera.camera.device();
    HttpReply reply;
    OperationRecord record{"-", "-", ""};
    if (status == HttpReadStatus::kComplete) {
        HttpRequest request{
            head.method, head.target, head.authorization,
            std::span<const std::uint8_t>(c.in).subspan(head_size, head.content_length)};
        reply = camera.camera.Handle(request, std::chrono::system_clock::now(), now, record);
        c.close_after = head.close;
        c.in.erase(c.in.begin(),
                   c.in.begin() + static_cast<std::ptrdiff_t>(head_size + head.content_length));
    } else {
        reply.status = status == HttpReadStatus::kTooLarge   ? 413
                       : status == HttpReadStatus::kNoLength ? 411
                                                             : 400;
        reply.body = "<html><body>" + std::to_string(reply.status) + "</body></html>";
        reply.headers.emplace_back("Content-Type", "text/html");
        record.result = "http " + std::to_string(reply.status);
        c.close_after = true;
    }
    c.continued = false;
    if (reply.delivery != HttpDelivery::kWhole) {
        c.close_after = true;
        const std::string whole =
            reply.delivery == HttpDelivery::kTrickle ? Serialize(reply, true) : std::string();
        c.stream.emplace(reply.delivery, whole, now);
        c.in.clear();
    }
    if (log_) {
        log_->WriteOperation(interfaces_[camera.interface].name, c.peer, c.peer_port,
                             device.http_port, device.endpoint, device.ip, record.operation,
                             record.auth, record.result);
    }
    if (reply.hang_up) return false;
    c.out += c.stream ? c.stream->Next(now) : Serialize(reply, c.close_after);
    return true;  // sent on the next turn, when the socket is writable
}

}  // namespace quorvex::sim
