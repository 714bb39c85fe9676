#pragma once

// The addresses the simulator gives the interfaces of its namespace, so that
// a camera can listen at an address of its own and move to another: added and
// removed through rtnetlink (one request and its acknowledgement each, no
// helper program), and every address added is removed again on destruction.

#include <string>
#include <vector>

namespace quorvex::sim {

class LocalAddresses {
public:
    LocalAddresses() = default;
    ~LocalAddresses();
    LocalAddresses(const LocalAddresses&) = delete;
    LocalAddresses& operator=(const LocalAddresses&) = delete;

    // Gives `interface` the address (dotted) with `prefix_length`. True when
    // it is there afterwards (also when it was before, which is then not
    // ours to remove); false with `error` otherwise.
    bool Add(const std::string& interface, const std::string& address, int prefix_length,
             std::string& error);
    // Takes back an address this object added; addresses it did not add stay.
    bool Remove(const std::string& address, std::string& error);

private:
    struct Entry {
        std::string interface, address;
        int prefix_length = 0;
    };
    std::vector<Entry> added_;
};

}  // namespace quorvex::sim
