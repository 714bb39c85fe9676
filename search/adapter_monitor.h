#pragma once

// Tells the search when the host's adapters change, so that it reads them
// again: a rtnetlink socket that the kernel notifies of link changes, IPv4
// address changes and IPv4 route changes (a default route carries the
// gateway). It belongs to the network namespace of the thread that made it.
//
// The handle is polled beside the search sockets; when it is readable,
// `Drain` takes everything pending without blocking and says whether the
// adapters may have changed. An overflowed socket (the kernel dropped
// notifications) or bytes that cannot be read count as a change: what was
// missed is unknown, and reading the adapters again is always safe.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvex {

// What one or more notifications reported.
struct AdapterEvents {
    int links = 0;           // a link appeared, changed or went away
    int addresses = 0;       // an IPv4 address was added or removed
    int routes = 0;          // an IPv4 default route was added or removed
    bool overflow = false;   // the kernel dropped notifications
    bool malformed = false;  // bytes that are no whole notification

    bool Changed() const { return links + addresses + routes > 0 || overflow || malformed; }
    AdapterEvents& operator+=(const AdapterEvents& other);
};

// Reads the notifications of one received datagram. Pure: the bytes are
// read within their length only, whatever the lengths inside them claim.
AdapterEvents ParseAdapterEvents(std::span<const std::uint8_t> bytes);

class AdapterMonitor {
public:
    // Opens and subscribes the socket; `Handle` is -1 when that failed (the
    // caller then reads the adapters only when asked). A receive buffer of
    // 0 keeps the system's default.
    explicit AdapterMonitor(int receive_buffer_bytes = kReceiveBufferBytes);
    ~AdapterMonitor();
    AdapterMonitor(const AdapterMonitor&) = delete;
    AdapterMonitor& operator=(const AdapterMonitor&) = delete;

    // Readable when notifications are pending; -1 when the socket could not
    // be opened.
    int Handle() const { return handle_; }

    // Reads what is pending without blocking: true when a link, address or
    // route event was seen, the socket overflowed, or something unreadable
    // came. Reads at most `kMaxReads` datagrams per call, so a storm of
    // changes cannot hold the caller; the handle then stays readable.
    bool Drain() { return DrainEvents().Changed(); }
    // The same with the details.
    AdapterEvents DrainEvents();

    // Enough for the burst of a few interfaces coming up at once; an overflow
    // costs only one more reading of the adapters.
    static constexpr int kReceiveBufferBytes = 256 * 1024;
    static constexpr int kMaxReads = 256;

private:
    int handle_ = -1;
};

}  // namespace quorvex
