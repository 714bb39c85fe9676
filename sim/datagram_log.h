#pragma once

// The simulator's record of what it heard: one JSON object per line with the
// time (seconds since the epoch), the receiving interface, the source
// "address:port", the destination port, the length and the bytes in hex.
// Each line is written whole and flushed, so a reader polling the file sees
// only complete lines (a line without its closing brace is still being
// written).

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace quorvex::sim {

class DatagramLog {
public:
    DatagramLog() = default;
    ~DatagramLog();
    DatagramLog(const DatagramLog&) = delete;
    DatagramLog& operator=(const DatagramLog&) = delete;

    // Creates (truncates) the file; false when it cannot be written.
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const std::string& interface, std::uint32_t source_address,
               std::uint16_t source_port, std::uint16_t destination_port,
               std::span<const std::uint8_t> bytes);
    // One call a standard camera received, as a line of its own with the
    // same time, interface, source and destination port, no bytes, and the
    // keys "camera" (its endpoint reference), "address" (where it served),
    // "operation", "auth" and "result".
    void WriteOperation(const std::string& interface, std::uint32_t source_address,
                        std::uint16_t source_port, std::uint16_t destination_port,
                        const std::string& camera, const std::string& address,
                        const std::string& operation, const std::string& auth,
                        const std::string& result);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace quorvex::sim
