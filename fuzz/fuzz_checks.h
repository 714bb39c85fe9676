#pragma once

// Invariants that every fuzz target checks on what it gets back. A broken one
// aborts, which libFuzzer reports as a crash and keeps the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "core/device_records.h"

namespace quorvex::fuzz {

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// A field written by SetText: terminated inside its width and zero from the
// terminator on, so that records compare byte for byte.
inline bool Canonical(const char* field, std::size_t width) {
    const void* end = std::memchr(field, '\0', width);
    if (end == nullptr) return false;
    for (std::size_t i = static_cast<const char*>(end) - field; i < width; ++i) {
        if (field[i] != '\0') return false;
    }
    return true;
}

template <std::size_t N>
inline void RequireCanonical(const char (&field)[N], const char* what) {
    Require(Canonical(field, N), what);
}

// Every text field of a parsed device but the name, which each protocol
// treats in its own way.
inline void RequireTextFieldsCanonical(const DeviceInfo& info) {
    RequireCanonical(info.uid, "uid terminated and zero-padded");
    RequireCanonical(info.ip, "ip terminated and zero-padded");
    RequireCanonical(info.mask, "mask terminated and zero-padded");
    RequireCanonical(info.gateway, "gateway terminated and zero-padded");
    RequireCanonical(info.dns1, "dns1 terminated and zero-padded");
    RequireCanonical(info.dns2, "dns2 terminated and zero-padded");
    RequireCanonical(info.software_version, "software_version terminated and zero-padded");
    RequireCanonical(info.web_version, "web_version terminated and zero-padded");
    RequireCanonical(info.user, "user terminated and zero-padded");
    RequireCanonical(info.password, "password terminated and zero-padded");
    RequireCanonical(info.device_id, "device_id terminated and zero-padded");
}

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace quorvex::fuzz
