#pragma once

// One simulated standard camera's device service: it authenticates each call
// as its settings say, answers the device management operations, and decides
// when it moves to new network settings. No sockets here: the camera gets a
// parsed HTTP request and the time, and hands back the reply; the service
// that owns the listeners carries out a move the camera asks for.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/hostile_stream.h"
#include "sim/sim_device.h"
#include "sim/standard_auth.h"
#include "sim/standard_soap_replies.h"

namespace quorvex::sim {

struct HttpRequest {
    std::string method;
    std::string target;
    std::string authorization;  // the Authorization header, if any
    std::span<const std::uint8_t> body;
};

struct HttpReply {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool hang_up = false;  // close the connection without answering
    // Anything but kWhole closes the connection after it (see HostileStream).
    HttpDelivery delivery = HttpDelivery::kWhole;
};

// What the camera's log says about one call.
struct OperationRecord {
    std::string operation;  // the body's first element, "-" when unreadable
    std::string auth;       // "open", "digest SHA-256 ok", "token refused nonce-reused", ...
    std::string result;     // "accepted", "answered", "http 401", "fault ter:...", ...
};

class StandardCamera {
public:
    // `device` must have `standard.on`; its ip, mask, port and DNS are where
    // it starts.
    explicit StandardCamera(SimDevice device);

    HttpReply Handle(const HttpRequest& request, std::chrono::system_clock::time_point now,
                     std::chrono::steady_clock::time_point steady_now, OperationRecord& record);

    // The camera as it serves now: `ip` and `http_port` are its listener's.
    const SimDevice& device() const { return device_; }
    int prefix_length() const { return served_prefix_; }

    // Where and when it moves next (a move may keep the address: a reboot
    // says Bye and Hello all the same); nothing while none is due.
    struct Move {
        std::string ip;
        int prefix_length = 24;
        std::uint16_t port = 80;
        std::chrono::steady_clock::time_point due;
    };
    const std::optional<Move>& pending_move() const { return move_; }
    // The move has been carried out: it serves there from now on.
    void Moved();

private:
    // Handle's answer as a well-behaved camera gives it.
    HttpReply Reply(const HttpRequest& request, std::chrono::system_clock::time_point now,
                    std::chrono::steady_clock::time_point steady_now, OperationRecord& record);
    HttpReply Answer(const std::string& body, int status = 200) const;
    HttpReply Fault(int status, const std::string& code, const std::vector<std::string>& subcodes,
                    const std::string& reason, OperationRecord& record) const;
    // The 401 (or 400) answer when the Authorization header does not pass.
    std::optional<HttpReply> DigestRefusal(const HttpRequest& request,
                                           std::chrono::steady_clock::time_point steady_now,
                                           OperationRecord& record);
    // The reply of a camera hostile on every call; none for the others.
    std::optional<HttpReply> Hostile(OperationRecord& record) const;
    HttpReply DeviceInformation(OperationRecord& record) const;
    HttpReply Dispatch(const SoapRequest& request, std::chrono::steady_clock::time_point now,
                       OperationRecord& record);
    HttpReply SetInterfaces(const SoapRequest& request, std::chrono::steady_clock::time_point now,
                            OperationRecord& record);
    void ScheduleMove(std::chrono::steady_clock::time_point now);

    SimDevice device_;
    int served_prefix_ = 24;
    StandardNetwork network_;  // what it reports and will use after a move
    DigestGuard digest_;
    TokenGuard token_;
    std::optional<Move> move_;
};

// Prefix length of a dotted mask ("255.255.255.0" -> 24); 24 when unreadable.
int PrefixOf(const std::string& mask);
// The dotted mask of a prefix length.
std::string MaskOf(int prefix_length);
// True when `a` and `b` (dotted) lie in one subnet of `prefix_length`.
bool SameSubnet(const std::string& a, const std::string& b, int prefix_length);

}  // namespace quorvex::sim
