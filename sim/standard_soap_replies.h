#pragma once

// The SOAP 1.2 answers of a simulated standard camera's device service, in
// the element order and namespaces of the device service's schema (tds for
// the messages, tt for the types, env for SOAP, ter for fault subcodes).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace quorvex::sim {

// What GetNetwork*/GetDNS read back and Set* change.
struct StandardNetwork {
    std::string address;
    int prefix_length = 24;
    bool dhcp = false;
    std::string gateway;
    bool dns_from_dhcp = false;
    std::vector<std::string> dns;
    std::uint16_t http_port = 80;
    bool rtsp_enabled = true;
    std::uint16_t rtsp_port = 554;
};

// The whole envelope around `body` (the content of env:Body).
std::string SoapEnvelope(const std::string& body);

// An env:Fault: `code` "env:Sender" or "env:Receiver", then the nested
// subcodes in order (e.g. {"ter:InvalidArgVal", "ter:InvalidIPv4Address"}).
std::string SoapFault(const std::string& code, const std::vector<std::string>& subcodes,
                      const std::string& reason);

// env:Body contents, each a complete tds:<Operation>Response.
std::string DateTimeResponse(std::chrono::system_clock::time_point camera_now);
std::string CapabilitiesResponse(const StandardSettings& settings);
std::string DeviceInformationResponse(const SimDevice& device);
std::string InterfacesResponse(const SimDevice& device, const StandardNetwork& network);
std::string GatewayResponse(const StandardNetwork& network);
std::string DnsResponse(const StandardNetwork& network);
std::string ProtocolsResponse(const StandardNetwork& network);
std::string RebootNeededResponse(bool reboot_needed);
std::string RebootResponse();
// An empty tds:<operation>Response.
std::string EmptyResponse(const std::string& operation);

// The interface token every simulated camera reports.
inline constexpr const char* kInterfaceToken = "eth0";

}  // namespace quorvex::sim
