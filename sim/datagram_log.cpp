#include "sim/datagram_log.h"

#include <arpa/inet.h>

#include <chrono>

namespace quorvex::sim {

DatagramLog::~DatagramLog() {
    if (file_) std::fclose(file_);
}

bool DatagramLog::Open(const std::string& path) {
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void DatagramLog::Write(const std::string& interface, std::uint32_t source_address,
                        std::uint16_t source_port, std::uint16_t destination_port,
                        std::span<const std::uint8_t> bytes) {
    if (!file_) return;
    static constexpr char kHex[] = "0123456789abcdef";
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    char source[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = source_address;
    ::inet_ntop(AF_INET, &a, source, sizeof source);

    std::string line;
    line.reserve(160 + bytes.size() * 2);
    char head[64];
    std::snprintf(head, sizeof head, "{\"time\":%.6f,\"interface\":\"", now);
    line += head;
    for (char c : interface) {
        // Interface names hold no quotes or controls in practice; anything
        // odd is dropped rather than allowed to break the line.
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) line += c;
    }
    line += "\",\"source\":\"";
    line += source;
    line += ":" + std::to_string(source_port);
    line += "\",\"destination_port\":" + std::to_string(destination_port);
    line += ",\"length\":" + std::to_string(bytes.size());
    line += ",\"hex\":\"";
    for (std::uint8_t b : bytes) {
        line += kHex[b >> 4];
        line += kHex[b & 0x0F];
    }
    line += "\"}\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

void DatagramLog::WriteOperation(const std::string& interface, std::uint32_t source_address,
                                 std::uint16_t source_port, std::uint16_t destination_port,
                                 const std::string& camera, const std::string& address,
                                 const std::string& operation, const std::string& auth,
                                 const std::string& result) {
    if (!file_) return;
    const auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (char c : text)
            if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) out += c;
        return out + "\"";
    };
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    char source[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = source_address;
    ::inet_ntop(AF_INET, &a, source, sizeof source);
    char head[64];
    std::snprintf(head, sizeof head, "{\"time\":%.6f,\"interface\":", now);
    const std::string line =
        head + quoted(interface) +
        ",\"source\":" + quoted(std::string(source) + ":" + std::to_string(source_port)) +
        ",\"destination_port\":" + std::to_string(destination_port) +
        ",\"length\":0,\"hex\":\"\",\"camera\":" + quoted(camera) +
        ",\"address\":" + quoted(address) + ",\"operation\":" + quoted(operation) +
        ",\"auth\":" + quoted(auth) + ",\"result\":" + quoted(result) + "}\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace quorvex::sim
