// Every reader of the device management codec over arbitrary bytes. Besides
// memory safety it checks that a value comes exactly when no error does, that
// a fault comes with its error only, that texts and lists stay within their
// caps, that tokens are never cut, and that reading is deterministic.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/onvif_device_codec.h"
#include "fuzz/fuzz_checks.h"

namespace {

using namespace quorvex;
using fuzz::Require;
using Codec = OnvifDeviceCodec;

template <typename T>
void RequireShape(const Codec::Result<T>& result, std::size_t size) {
    Require(result.value.has_value() == (result.error == Codec::Error::kNone),
            "a value exactly when there is no error");
    Require(result.error == Codec::Error::kFault || result.fault.code.local.empty(),
            "a fault only with its error");
    Require(result.fault.reason.size() <= 512 && result.fault.subcodes.size() <= 8, "fault capped");
    Require(size <= Codec::kMaxAnswerBytes || result.error == Codec::Error::kOversized,
            "nothing over the cap is read");
}

void RequireText(const std::string& text) {
    Require(text.size() <= Codec::kMaxTextBytes, "texts capped");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    const auto clock = Codec::ReadSystemDateAndTime(bytes);
    RequireShape(clock, size);
    if (clock.value) {
        Require(*clock.value >= 0 && *clock.value <= 253402300799, "a clock inside 1970..9999");
        Require(Codec::CreatedText(*clock.value).size() == 20, "every clock read can be written");
    }

    RequireShape(Codec::ReadServiceCapabilities(bytes), size);

    const auto info = Codec::ReadDeviceInformation(bytes);
    RequireShape(info, size);
    if (info.value) {
        for (const std::string* text :
             {&info.value->manufacturer, &info.value->model, &info.value->firmware_version,
              &info.value->serial_number, &info.value->hardware_id})
            RequireText(*text);
    }

    const auto interfaces = Codec::ReadNetworkInterfaces(bytes);
    RequireShape(interfaces, size);
    if (interfaces.value) {
        Require(!interfaces.value->empty() && interfaces.value->size() <= Codec::kMaxInterfaces,
                "interfaces: one at least, capped");
        for (const Codec::NetworkInterface& i : *interfaces.value) {
            Require(!i.token.empty() && i.token.size() <= 64, "a token whole, never cut");
            Require(i.manual.size() <= Codec::kMaxAddresses, "manual addresses capped");
            for (const Codec::PrefixedAddress& a : i.manual)
                Require(a.prefix_length >= 0 && a.prefix_length <= 32, "prefix 0..32");
        }
    }

    RequireShape(Codec::ReadSetNetworkInterfaces(bytes), size);

    const auto gateway = Codec::ReadNetworkDefaultGateway(bytes);
    RequireShape(gateway, size);
    if (gateway.value) Require(gateway.value->size() <= Codec::kMaxAddresses, "gateways capped");

    const auto dns = Codec::ReadDns(bytes);
    RequireShape(dns, size);
    if (dns.value) {
        Require(dns.value->dns_manual.size() <= Codec::kMaxAddresses &&
                    dns.value->dns_from_dhcp.size() <= Codec::kMaxAddresses &&
                    dns.value->search_domains.size() <= Codec::kMaxAddresses,
                "DNS lists capped");
    }

    const auto protocols = Codec::ReadNetworkProtocols(bytes);
    RequireShape(protocols, size);
    if (protocols.value) {
        Require(protocols.value->size() <= Codec::kMaxProtocols, "protocols capped");
        for (const Codec::NetworkProtocol& p : *protocols.value) {
            Require(!p.ports.empty() && p.ports.size() <= Codec::kMaxPorts, "ports: 1..cap");
            for (const std::uint16_t port : p.ports) Require(port != 0, "no port 0");
        }
        // What was read can be written back with a new HTTP port, or there
        // was no HTTP entry to change.
        bool http = false;
        for (const Codec::NetworkProtocol& p : *protocols.value)
            http = http || p.name == Codec::ProtocolName::kHttp;
        Require(Codec::BuildSetNetworkProtocols(*protocols.value, 8080).has_value() == http,
                "protocols read back into a request");
    }

    for (const Codec::Operation operation :
         {Codec::Operation::kSetDns, Codec::Operation::kSetNetworkDefaultGateway,
          Codec::Operation::kSetNetworkProtocols, Codec::Operation::kSystemReboot})
        RequireShape(Codec::ReadAcknowledgement(operation, bytes), size);

    const auto again = Codec::ReadNetworkInterfaces(bytes);
    Require(again.error == interfaces.error &&
                (!again.value || again.value->size() == interfaces.value->size()) &&
                Codec::IsFault(bytes) == (interfaces.error == Codec::Error::kFault),
            "reading is deterministic and agrees on faults");
    return 0;
}
