#include "search/standard_change_steps.h"

#include <arpa/inet.h>

#include <algorithm>
#include <tuple>

namespace quorvex {

namespace {

struct UrlParts {
    bool https = false;
    std::string_view host;  // IPv6 literals keep their brackets
    std::string_view port;  // without the colon, may be empty
    std::string_view rest;  // the path and what follows, may be empty
};

std::optional<UrlParts> Split(std::string_view url) {
    UrlParts parts;
    if (url.starts_with("http://")) {
        url.remove_prefix(7);
    } else if (url.starts_with("https://")) {
        url.remove_prefix(8);
        parts.https = true;
    } else {
        return std::nullopt;
    }
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    parts.rest = slash == std::string_view::npos ? std::string_view{} : url.substr(slash);
    // User information in a device address is never one to follow.
    if (authority.find('@') != std::string_view::npos || authority.empty()) return std::nullopt;
    std::size_t colon = std::string_view::npos;
    if (authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return std::nullopt;
            colon = close + 1;
        }
    } else {
        colon = authority.find(':');
    }
    parts.host = authority.substr(0, colon);
    if (colon != std::string_view::npos) parts.port = authority.substr(colon + 1);
    return parts.host.empty() ? std::nullopt : std::optional(parts);
}

std::optional<std::uint32_t> Ipv4Of(std::string_view host) {
    const std::string text(host);
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
    return a.s_addr;
}

std::string Dotted(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool LinkLocal(std::uint32_t address) {
    return (ntohl(address) & 0xFFFF0000u) == 0xA9FE0000u;
}

std::uint32_t Mask(int prefix_length) {
    return prefix_length <= 0 ? 0 : htonl(~std::uint32_t{0} << (32 - prefix_length));
}

bool SameServers(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    return a == b;
}

}  // namespace

std::vector<std::string> OrderServiceUrls(std::string_view xaddrs, std::uint32_t answered_from) {
    struct Ranked {
        std::tuple<int, int, int, std::size_t> rank;
        std::string url;
    };
    std::vector<Ranked> ranked;
    std::size_t index = 0;
    while (!xaddrs.empty()) {
        const std::size_t start = xaddrs.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) break;
        xaddrs.remove_prefix(start);
        const std::size_t end = std::min(xaddrs.find_first_of(" \t\r\n"), xaddrs.size());
        const std::string_view url = xaddrs.substr(0, end);
        xaddrs.remove_prefix(end);
        const auto parts = Split(url);
        if (!parts) continue;
        const auto ipv4 = Ipv4Of(parts->host);
        const bool own = ipv4 && *ipv4 == answered_from;
        const bool far = parts->host.front() == '[' || (ipv4 && LinkLocal(*ipv4));
        ranked.push_back(
            {{own ? 0 : 1, far ? 1 : 0, parts->https ? 1 : 0, index++}, std::string(url)});
    }
    std::sort(ranked.begin(), ranked.end(),
              [](const Ranked& a, const Ranked& b) { return a.rank < b.rank; });
    std::vector<std::string> urls;
    for (Ranked& r : ranked)
        if (std::find(urls.begin(), urls.end(), r.url) == urls.end())
            urls.push_back(std::move(r.url));
    return urls;
}

std::string ServiceUrlAt(std::string_view url, std::uint32_t address, std::uint16_t port) {
    const auto parts = Split(url);
    if (!parts) return {};
    std::string out = parts->https ? "https://" : "http://";
    out += Dotted(address);
    if (port != 0) {
        out += ':' + std::to_string(port);
    } else if (!parts->port.empty()) {
        out += ':';
        out += parts->port;
    }
    out += parts->rest;
    return out;
}

std::optional<StandardAuthMethod> ChooseAuthentication(
    long status, bool digest_offered, bool not_authorized_fault, bool answered,
    const std::optional<OnvifDeviceCodec::ServiceCapabilities>& capabilities) {
    if (status == 401 && digest_offered) return StandardAuthMethod::kDigest;
    if (status == 400 || not_authorized_fault) return StandardAuthMethod::kUsernameToken;
    if (answered) {
        if (capabilities && capabilities->http_digest) return StandardAuthMethod::kDigest;
        if (capabilities && capabilities->username_token) return StandardAuthMethod::kUsernameToken;
        return StandardAuthMethod::kNone;
    }
    return std::nullopt;
}

std::string CreatedOnCameraClock(std::int64_t local_utc, std::int64_t offset) {
    return OnvifDeviceCodec::CreatedText(local_utc + offset);
}

bool StandardChangePlan::Has(StandardStep step) const {
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

StandardChangePlan PlanStandardChange(const StandardSnapshot& before,
                                      const StandardWanted& wanted) {
    StandardChangePlan plan;
    const auto refuse = [&plan](PlanRefusal why) {
        plan.steps.clear();
        plan.refusal = why;
        return plan;
    };

    if (wanted.dns && (!before.dns || !SameServers(before.dns->dns_manual, *wanted.dns) ||
                       before.dns->from_dhcp)) {
        if (!before.dns) return refuse(PlanRefusal::kDnsUnknown);
        plan.dns = *before.dns;  // SetDNS replaces the search domains: send them back
        plan.dns.from_dhcp = false;
        plan.dns.dns_manual = *wanted.dns;
        plan.steps.push_back(StandardStep::kSetDns);
    }
    if (wanted.http_port && *wanted.http_port != before.http_port) {
        if (!before.protocols || HttpPortOf(*before.protocols) == 0 || *wanted.http_port == 0)
            return refuse(PlanRefusal::kNoHttpEntry);
        plan.http_port = *wanted.http_port;
        plan.steps.push_back(StandardStep::kSetHttpPort);
    }

    const bool dhcp = wanted.dhcp.value_or(before.dhcp);
    const bool new_address =
        !dhcp && wanted.address &&
        (*wanted.address != before.address || wanted.prefix_length != before.prefix_length);
    if (new_address &&
        (*wanted.address == 0 || wanted.prefix_length < 1 || wanted.prefix_length > 32))
        return refuse(PlanRefusal::kBadAddress);
    const bool moves = new_address || dhcp != before.dhcp;

    bool gateway_after = false;
    const bool gateway_known_same = before.gateways && !before.gateways->empty() &&
                                    wanted.gateway && before.gateways->front() == *wanted.gateway;
    if (wanted.gateway && *wanted.gateway != 0 && !gateway_known_same) {
        plan.gateway = *wanted.gateway;
        const std::uint32_t mask = Mask(before.prefix_length);
        const bool inside_old = before.address != 0 && before.prefix_length > 0 &&
                                (before.address & mask) == (plan.gateway & mask);
        if (inside_old || !moves)
            plan.steps.push_back(StandardStep::kSetGateway);
        else
            gateway_after = true;
    }

    if (moves) {
        if (before.interface_token.empty()) return refuse(PlanRefusal::kNoInterfaceToken);
        plan.interface.token = before.interface_token;
        plan.interface.enabled = true;
        plan.interface.ipv4_enabled = true;
        plan.interface.dhcp = dhcp;
        if (!dhcp) {
            plan.interface.address = wanted.address.value_or(before.address);
            plan.interface.prefix_length =
                wanted.address ? wanted.prefix_length : before.prefix_length;
            if (*plan.interface.address == 0) return refuse(PlanRefusal::kBadAddress);
        }
        plan.steps.push_back(StandardStep::kSetInterface);
    }
    if (gateway_after) plan.steps.push_back(StandardStep::kSetGatewayAfterMove);
    return plan;
}

ReadBackMismatch CompareReadBack(const StandardChangePlan& sent, const StandardReadBack& read) {
    if (sent.Has(StandardStep::kSetInterface)) {
        const auto it =
            std::find_if(read.interfaces.begin(), read.interfaces.end(),
                         [&sent](const auto& i) { return i.token == sent.interface.token; });
        if (it == read.interfaces.end()) return ReadBackMismatch::kNoInterface;
        if (sent.interface.dhcp && it->dhcp != *sent.interface.dhcp) return ReadBackMismatch::kDhcp;
        if (sent.interface.address) {
            const bool held = std::any_of(it->manual.begin(), it->manual.end(), [&](const auto& m) {
                return m.address == *sent.interface.address &&
                       m.prefix_length == sent.interface.prefix_length;
            });
            if (!held) return ReadBackMismatch::kAddress;
        }
    }
    if (sent.Has(StandardStep::kSetGateway) &&
        (!read.gateways || std::find(read.gateways->begin(), read.gateways->end(), sent.gateway) ==
                               read.gateways->end()))
        return ReadBackMismatch::kGateway;
    if (sent.Has(StandardStep::kSetDns) &&
        (!read.dns || read.dns->from_dhcp || read.dns->dns_manual != sent.dns.dns_manual))
        return ReadBackMismatch::kDns;
    if (sent.Has(StandardStep::kSetHttpPort) &&
        (!read.protocols || HttpPortOf(*read.protocols) != sent.http_port))
        return ReadBackMismatch::kHttpPort;
    return ReadBackMismatch::kNone;
}

std::uint16_t HttpPortOf(const std::vector<OnvifDeviceCodec::NetworkProtocol>& protocols) {
    for (const auto& p : protocols)
        if (p.name == OnvifDeviceCodec::ProtocolName::kHttp && !p.ports.empty())
            return p.ports.front();
    return 0;
}

}  // namespace quorvex
