#include "sim/standard_camera.h"

#include <arpa/inet.h>

namespace quorvex::sim {

namespace {

// A UsernameToken's Created may lie this far either side of the camera's clock.
constexpr std::chrono::seconds kTokenWindow{300};

bool ReadAddress(const std::string& text, std::uint32_t& out) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    out = ntohl(a.s_addr);
    return true;
}

// A unicast host address: not 0.x, loopback, multicast or broadcast.
bool UsableHost(const std::string& text) {
    std::uint32_t a = 0;
    if (!ReadAddress(text, a)) return false;
    const std::uint32_t top = a >> 24;
    return top != 0 && top != 127 && top < 224;
}

bool ReadPort(const std::string& text, std::uint16_t& out) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    out = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

int PrefixOf(const std::string& mask) {
    std::uint32_t m = 0;
    if (!ReadAddress(mask, m)) return 24;
    int n = 0;
    while (n < 32 && (m & (0x80000000u >> n))) ++n;
    return n;
}

std::string MaskOf(int prefix_length) {
    const std::uint32_t m = prefix_length <= 0 ? 0 : ~0u << (32 - prefix_length);
    in_addr a{htonl(m)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool SameSubnet(const std::string& a, const std::string& b, int prefix_length) {
    std::uint32_t x = 0, y = 0;
    if (!ReadAddress(a, x) || !ReadAddress(b, y)) return false;
    const std::uint32_t m = prefix_length <= 0 ? 0 : ~0u << (32 - prefix_length);
    return (x & m) == (y & m);
}

StandardCamera::StandardCamera(SimDevice device)
    : device_(std::move(device)),
      digest_("quorvex-sim " + MacHex(device_.mac),
              std::chrono::milliseconds(device_.standard.nonce_life_ms)),
      token_(kTokenWindow) {
    served_prefix_ = PrefixOf(device_.mask);
    network_.address = device_.ip;
    network_.prefix_length = served_prefix_;
    network_.dhcp = device_.dhcp != 0;
    network_.gateway = device_.gateway;
    for (const std::string* dns : {&device_.dns1, &device_.dns2})
        if (UsableHost(*dns)) network_.dns.push_back(*dns);
    network_.http_port = device_.http_port;
}

HttpReply StandardCamera::Answer(const std::string& body, int status) const {
    HttpReply reply;
    reply.status = status;
    reply.headers.emplace_back("Content-Type", "application/soap+xml; charset=utf-8");
    reply.body = SoapEnvelope(body);
    return reply;
}

HttpReply StandardCamera::Fault(int status, const std::string& code,
                                const std::vector<std::string>& subcodes, const std::string& reason,
                                OperationRecord& record) const {
    record.result = "fault " + subcodes.back();
    return Answer(SoapFault(code, subcodes, reason), status);
}

HttpReply StandardCamera::Handle(const HttpRequest& request,
                                 std::chrono::system_clock::time_point now,
                                 std::chrono::steady_clock::time_point steady_now,
                                 OperationRecord& record) {
    record = OperationRecord{"-", "open", ""};
    if (auto hostile = Hostile(record)) return *hostile;
    HttpReply reply = Reply(request, now, steady_now, record);
    if (device_.standard.behaviour == StandardBehaviour::kTrickle) {
        reply.delivery = HttpDelivery::kTrickle;
        record.result += ", trickled";
    }
    return reply;
}

std::optional<HttpReply> StandardCamera::Hostile(OperationRecord& record) const {
    HttpReply reply;
    switch (device_.standard.behaviour) {
        case StandardBehaviour::kHuge:
            reply.delivery = HttpDelivery::kHuge;
            record.result = "huge answer";
            return reply;
        case StandardBehaviour::kEndless:
            reply.delivery = HttpDelivery::kEndless;
            record.result = "endless answer";
            return reply;
        case StandardBehaviour::kRedirect:
            reply.status = 302;
            reply.headers.emplace_back("Location", "http://" + device_.ip + ":" +
                                                       std::to_string(device_.http_port) +
                                                       "/onvif/elsewhere");
            record.result = "http 302";
            return reply;
        case StandardBehaviour::kHtmlError:
            // A web server in front of the device service that knows only pages.
            reply.status = 405;
            reply.headers.emplace_back("Allow", "GET");
            reply.headers.emplace_back("Content-Type", "text/html");
            reply.body =
                "<html><head><title>405 Method Not Allowed</title></head>"
                "<body><h1>Method Not Allowed</h1></body></html>";
            record.result = "http 405";
            return reply;
        default:
            return std::nullopt;
    }
}

HttpReply StandardCamera::DeviceInformation(OperationRecord& record) const {
    HttpReply reply = Answer(DeviceInformationResponse(device_));
    const std::string name = "Quorvex Sim";
    const std::size_t at = reply.body.find(name);
    if (device_.standard.behaviour == StandardBehaviour::kDoctype && at != std::string::npos) {
        // Nested entities: a few hundred bytes that would expand a
        // thousandfold in a reader that expands them.
        reply.body.replace(at, name.size(), "&c;");
        reply.body.insert(reply.body.find("?>") + 2,
                          "<!DOCTYPE env:Envelope [<!ENTITY a \"aaaaaaaaaa\">"
                          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                          "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>");
        record.result = "answered with a doctype";
    } else if (device_.standard.behaviour == StandardBehaviour::kBadUtf8 &&
               at != std::string::npos) {
        reply.body.replace(at, name.size(), "Quorvex \xC3\x28 Sim \xFF");
        record.result = "answered with bad utf-8";
    }
    return reply;
}

HttpReply StandardCamera::Reply(const HttpRequest& request,
                                std::chrono::system_clock::time_point now,
                                std::chrono::steady_clock::time_point steady_now,
                                OperationRecord& record) {
    if (request.method != "POST") {
        record.result = "http 405";
        HttpReply reply;
        reply.status = 405;
        reply.headers.emplace_back("Allow", "POST");
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.body = "<html><body>405 Method Not Allowed</body></html>";
        return reply;
    }
    if (request.target != device_.service_path) {
        record.result = "http 404";
        HttpReply reply;
        reply.status = 404;
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.body = "<html><body>404 Not Found</body></html>";
        return reply;
    }
    const auto parsed = ParseSoapRequest(request.body);
    // The HTTP layer asks for credentials before anyone reads the body (a
    // client may send an empty one to fetch the challenge).
    if (!parsed && device_.standard.auth == StandardAuth::kDigest) {
        if (auto refused = DigestRefusal(request, steady_now, record)) return *refused;
    }
    if (!parsed)
        return Fault(400, "env:Sender", {"ter:WellFormed"}, "Not a well-formed SOAP request",
                     record);
    const SoapRequest& soap = *parsed;
    record.operation = soap.operation.empty() ? "-" : soap.operation;
    static const char* const kKnown[] = {"GetSystemDateAndTime",
                                         "GetServiceCapabilities",
                                         "GetDeviceInformation",
                                         "GetNetworkInterfaces",
                                         "SetNetworkInterfaces",
                                         "GetNetworkDefaultGateway",
                                         "SetNetworkDefaultGateway",
                                         "GetDNS",
                                         "SetDNS",
                                         "GetNetworkProtocols",
                                         "SetNetworkProtocols",
                                         "SystemReboot"};
    bool known = false;
    for (const char* name : kKnown) known = known || soap.operation == name;
    if (soap.operation_prefix != "tds" || !known)
        return Fault(500, "env:Receiver", {"ter:ActionNotSupported"},
                     "The device does not support this operation", record);

    const StandardSettings& s = device_.standard;
    const bool open = soap.operation == "GetServiceCapabilities" ||
                      (soap.operation == "GetSystemDateAndTime" && !s.time_needs_auth);
    if (!open) {
        if (s.auth == StandardAuth::kDigest) {
            if (auto refused = DigestRefusal(request, steady_now, record)) return *refused;
        } else {
            const auto camera_now = now + std::chrono::seconds(s.clock_offset_s);
            // A caller cannot know the camera's clock before it has read it,
            // so the clock call weighs the token without its Created time.
            const AuthVerdict v = token_.Check(soap, device_.user, device_.password, camera_now,
                                               soap.operation != "GetSystemDateAndTime");
            record.auth = "token " + std::string(AuthVerdictName(v));
            if (v != AuthVerdict::kOk)
                return Fault(400, "env:Sender", {"ter:NotAuthorized"}, "Sender not authorized",
                             record);
        }
    }
    record.result = "answered";
    if (soap.operation == "GetSystemDateAndTime")
        return Answer(DateTimeResponse(now + std::chrono::seconds(s.clock_offset_s)));
    return Dispatch(soap, steady_now, record);
}

std::optional<HttpReply> StandardCamera::DigestRefusal(
    const HttpRequest& request, std::chrono::steady_clock::time_point steady_now,
    OperationRecord& record) {
    std::string algorithm;
    const AuthVerdict v = digest_.Check(request.authorization, request.method, request.target,
                                        device_.user, device_.password, steady_now, algorithm);
    record.auth = v == AuthVerdict::kMissing
                      ? "digest missing"
                      : "digest " + algorithm + " " + std::string(AuthVerdictName(v));
    if (v == AuthVerdict::kOk) return std::nullopt;
    HttpReply reply;
    reply.headers.emplace_back("Content-Type", "text/html");
    if (v == AuthVerdict::kWrongUri) {
        record.result = "http 400";
        reply.status = 400;
        reply.body = "<html><body>400 Bad Request: digest uri</body></html>";
        return reply;
    }
    record.result = "http 401";
    reply.status = 401;
    for (std::string& c : digest_.Challenge(steady_now, v == AuthVerdict::kStale))
        reply.headers.emplace_back("WWW-Authenticate", std::move(c));
    reply.body = "<html><body>401 Unauthorized</body></html>";
    return reply;
}

HttpReply StandardCamera::Dispatch(const SoapRequest& soap,
                                   std::chrono::steady_clock::time_point now,
                                   OperationRecord& record) {
    const std::string& op = soap.operation;
    const std::string body = "env:Body/tds:" + op + "/";
    if (op == "GetServiceCapabilities") return Answer(CapabilitiesResponse(device_.standard));
    if (op == "GetDeviceInformation") return DeviceInformation(record);
    if (op == "GetNetworkInterfaces") return Answer(InterfacesResponse(device_, network_));
    if (op == "GetNetworkDefaultGateway") return Answer(GatewayResponse(network_));
    if (op == "GetDNS") return Answer(DnsResponse(network_));
    if (op == "GetNetworkProtocols") return Answer(ProtocolsResponse(network_));
    if (op == "SetNetworkInterfaces") return SetInterfaces(soap, now, record);
    if (op == "SetNetworkDefaultGateway") {
        const std::vector<std::string> gateways = soap.All(body + "tds:IPv4Address");
        if (gateways.size() > 1 || (gateways.size() == 1 && !UsableHost(gateways[0])))
            return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidGatewayAddress"},
                         "Invalid gateway address", record);
        const std::string gateway = gateways.empty() ? std::string() : gateways[0];
        // The camera checks against the subnet it is in now, not the one it
        // was told to move to.
        if (device_.standard.strict_gateway && !gateway.empty() &&
            !SameSubnet(gateway, device_.ip, served_prefix_))
            return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidGatewayAddress"},
                         "The gateway is outside the device's subnet", record);
        network_.gateway = gateway;
        record.result = "accepted";
        return Answer(EmptyResponse(op));
    }
    if (op == "SetDNS") {
        const std::vector<std::string> servers = soap.All(body + "tds:DNSManual/tt:IPv4Address");
        for (const std::string& server : servers)
            if (!UsableHost(server))
                return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidIPv4Address"},
                             "Invalid DNS address", record);
        network_.dns_from_dhcp = soap.Text(body + "tds:FromDHCP") == "true";
        network_.dns = servers;
        record.result = "accepted";
        return Answer(EmptyResponse(op));
    }
    if (op == "SetNetworkProtocols") {
        // Only the entries sent change; an unknown protocol is refused whole.
        // Children end before their parent, so each entry is complete when
        // its own end tag comes.
        StandardNetwork next = network_;
        const std::string entry = "env:Envelope/" + body + "tds:NetworkProtocols";
        std::string name, enabled;
        std::vector<std::string> ports;
        for (const SoapElement& e : soap.elements) {
            if (e.path == entry + "/tt:Name") name = e.text;
            if (e.path == entry + "/tt:Enabled") enabled = e.text;
            if (e.path == entry + "/tt:Port") ports.push_back(e.text);
            if (e.path != entry) continue;
            std::uint16_t port = 0;
            if ((name != "HTTP" && name != "RTSP" && name != "HTTPS") || ports.size() > 1 ||
                (ports.size() == 1 && !ReadPort(ports[0], port)))
                return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidArgs"},
                             "Unsupported protocol or port", record);
            if (name == "HTTP" && port != 0) next.http_port = port;
            if (name == "RTSP" && port != 0) next.rtsp_port = port;
            if (name == "RTSP" && !enabled.empty()) next.rtsp_enabled = enabled == "true";
            name.clear();
            enabled.clear();
            ports.clear();
        }
        network_ = next;
        record.result = "accepted";
        return Answer(EmptyResponse(op));
    }
    // SystemReboot: the answer leaves first, the camera comes back a moment later.
    ScheduleMove(now);
    record.result = "accepted";
    return Answer(RebootResponse());
}

HttpReply StandardCamera::SetInterfaces(const SoapRequest& soap,
                                        std::chrono::steady_clock::time_point now,
                                        OperationRecord& record) {
    const std::string body = "env:Body/tds:SetNetworkInterfaces/";
    const std::string token = soap.Text(body + "tds:InterfaceToken");
    if (token != kInterfaceToken)
        return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidNetworkInterface"},
                     "No such network interface", record);
    const std::string ipv4 = body + "tds:NetworkInterface/tt:IPv4/";
    const std::vector<std::string> addresses = soap.All(ipv4 + "tt:Manual/tt:Address");
    const std::vector<std::string> prefixes = soap.All(ipv4 + "tt:Manual/tt:PrefixLength");
    const std::string dhcp = soap.Text(ipv4 + "tt:DHCP");
    int prefix = network_.prefix_length;
    bool valid = addresses.size() <= 1 && prefixes.size() == addresses.size() &&
                 !(dhcp == "true" && !addresses.empty());
    if (valid && addresses.size() == 1) {
        valid = UsableHost(addresses[0]) && prefixes[0].size() <= 2 &&
                prefixes[0].find_first_not_of("0123456789") == std::string::npos &&
                !prefixes[0].empty();
        if (valid) prefix = std::stoi(prefixes[0]);
        valid = valid && prefix >= 8 && prefix <= 30;
    }
    if (!valid || device_.standard.behaviour == StandardBehaviour::kFaults)
        return Fault(400, "env:Sender", {"ter:InvalidArgVal", "ter:InvalidIPv4Address"},
                     "Invalid IPv4 address", record);
    record.result = "accepted";
    switch (device_.standard.behaviour) {
        case StandardBehaviour::kReverts:
            // Says yes and keeps everything as it was.
            record.result = "accepted, reverted";
            return Answer(RebootNeededResponse(false));
        case StandardBehaviour::kRebootNeeded:
            if (!addresses.empty()) {
                network_.address = addresses[0];
                network_.prefix_length = prefix;
            }
            // There is no DHCP server here: the flag is kept and read back,
            // the address stays.
            if (!dhcp.empty()) network_.dhcp = dhcp == "true";
            record.result = "accepted, reboot needed";
            return Answer(RebootNeededResponse(true));
        default:
            if (!addresses.empty()) {
                network_.address = addresses[0];
                network_.prefix_length = prefix;
            }
            if (!dhcp.empty()) network_.dhcp = dhcp == "true";
            if (network_.address != device_.ip || network_.prefix_length != served_prefix_ ||
                network_.http_port != device_.http_port)
                ScheduleMove(now);
            if (device_.standard.silent_move) {
                record.result = "accepted, hung up";
                HttpReply none;
                none.hang_up = true;
                return none;
            }
            return Answer(RebootNeededResponse(false));
    }
}

void StandardCamera::ScheduleMove(std::chrono::steady_clock::time_point now) {
    move_ = Move{network_.address, network_.prefix_length, network_.http_port,
                 now + std::chrono::milliseconds(device_.standard.move_delay_ms)};
}

void StandardCamera::Moved() {
    if (!move_) return;
    device_.ip = move_->ip;
    device_.mask = MaskOf(move_->prefix_length);
    device_.http_port = move_->port;
    served_prefix_ = move_->prefix_length;
    move_.reset();
    if (device_.standard.new_endpoint && !device_.endpoint.empty()) {
        // Another last digit: the same form, another identity.
        char& last = device_.endpoint.back();
        last = last == '0' ? '1' : '0';
    }
}

}  // namespace quorvex::sim
