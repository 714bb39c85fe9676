#pragma once

// The one place where a change is decided: what the user asked for (one
// camera's settings, a batch from a start address, or moving cameras into the
// PC's subnet) becomes, per camera, the exact values that go on the wire or
// the reason nothing goes. Both front-ends only put the plan into words and,
// unless it is a dry run, hand it to `ChangeWatch`; neither assembles a
// command itself.
//
// Every address is parsed once into a number and written back in canonical
// dotted decimal ("010.077.000.005" goes out as "10.77.0.5", never as typed,
// since a firmware reading it with inet_aton would take it as octal). No
// value is made up: a gateway or name server the user left open and the
// source (the PC's interface, for a move into its subnet) does not have
// becomes the camera's own when that still fits, else it is left out of a
// text command (whose firmware keeps a pair that is absent) and kept at the
// camera's own value in a binary one (whose record has no way to leave a
// field out). Never 0.0.0.0, never an empty pair.
//
// Pure: no sockets, no clocks. The link is asked only through `LinkProbe`.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/address_check.h"
#include "search/address_plan.h"
#include "search/credentials.h"
#include "search/device_update.h"
#include "search/temporary_address_plan.h"
#include "search/wire_value.h"

namespace quorvex {

// One camera and the values it is sent.
struct PlannedChange {
    DeviceEntry entry{};
    NetSettings settings{};
};

// The fields of a change, for refusals, warnings and the old -> new list.
enum class PlanField { none, ip, mask, gateway, dns1, dns2, http_port, dhcp, user, password };

enum class ChangeKind {
    settings,  // the same values for each selected camera (its own address kept unless `ip`)
    batch,     // consecutive addresses from `ip` (the start), shared other values; with
               // `dhcp` on, no start: each camera takes its address from the network
    match,     // each selected camera outside its interface's subnet moves into it
};

struct ChangeRequest {
    ChangeKind kind = ChangeKind::settings;
    // The selection, with what the search knows of each (conflict marks).
    std::vector<DeviceUpdate> devices;
    // True when the user named these cameras one by one (`set KEY`): a
    // camera in conflict is then planned after a warning. False for a
    // selection the tool made (`--all`, Enter): such a camera is refused.
    bool named = false;
    // Values as typed; unset: not asked for (the camera's own, or for a match
    // the interface's, stands).
    std::optional<std::string> ip;  // the start address for a batch
    std::optional<std::string> mask;
    std::optional<std::string> gateway;
    std::optional<std::string> dns1;
    std::optional<std::string> dns2;
    std::optional<std::uint16_t> http_port;
    std::optional<bool> dhcp;
    // What the user typed; unset: nothing typed. A camera whose answer
    // carries no usable password (text protocol) needs one typed.
    Credentials credentials;
    // Send an address that only the link refuses (`IsOverridable`) to the
    // camera it is set on, with a warning. A batch or match hands out free
    // addresses only and skips such an address all the same.
    bool force = false;
    // Plan and show, send nothing.
    bool dry_run = false;
    // The front-end carries a change to a standard camera (only WS-Discovery
    // heard it) through its device service: such a camera that names an http
    // or https service address is planned like the others and needs a typed
    // user and password. Off: it is refused as not configurable.
    bool standard_cameras = false;
    // A standard camera whose device service lies in no subnet of any
    // searched interface can only be reached once the PC holds an address of
    // its subnet: on, such a camera is planned with that temporary address
    // (`CameraPlan::temporary`); off, it is refused.
    bool temporary_address = false;
};

// Why a camera gets no command, or why its plan carries a warning.
enum class PlanProblem {
    none,
    not_configurable,         // only WS-Discovery heard it (and it names no device service)
    in_conflict,              // its MAC answered with other addresses or from other senders
    already_inside,           // match: it already sits in its interface's subnet
    no_interface,             // the interface that heard it is no longer searched
    no_free_address,          // batch or match: the candidates ran out
    bad_address,              // `field` refused by the address check: see `verdict`
    bad_value,                // `field` cannot go on the wire: see `wire`
    gateway_outside,          // the gateway lies outside the new subnet
    gateway_is_address,       // the new address is the gateway's
    no_mask,                  // no mask given and none to take over
    password_needed,          // its answer carries no password (or user) of its own: type `field`
    forced,                   // warning: sent although `verdict` says otherwise (--force)
    named_in_conflict,        // warning: in conflict, planned because it was named
    needs_temporary_address,  // a standard camera outside every subnet of the PC, without
                              // `temporary_address`
};

struct PlanIssue {
    PlanProblem problem = PlanProblem::none;
    PlanField field = PlanField::none;
    AddressVerdict verdict = AddressVerdict::free;
    WireValueProblem wire = WireValueProblem::none;
    bool operator==(const PlanIssue&) const = default;
};

// One value that changes, as the plan shows it: canonical texts, "" for none.
struct ValueChange {
    PlanField field = PlanField::none;
    std::string before;
    std::string after;
    bool operator==(const ValueChange&) const = default;
};

struct CameraPlan {
    DeviceUpdate device;
    // The change goes through the camera's device service, not a datagram.
    bool standard = false;
    // The values to send: canonical, credentials filled. None when refused.
    std::optional<NetSettings> settings;
    PlanIssue refusal;                 // problem none when planned
    std::vector<PlanIssue> warnings;   // forced verdicts, named in conflict
    std::vector<ValueChange> changes;  // every value that changes, old -> new
    // The address the PC takes on the interface that heard a standard camera
    // outside all its subnets, for the length of the change. Cameras of one
    // subnet heard on one interface share it.
    std::optional<TemporaryAddressPlan> temporary;
};

struct ChangePlan {
    ChangeKind kind = ChangeKind::settings;
    bool dry_run = false;
    // One per selected camera, in the selection's order.
    std::vector<CameraPlan> cameras;
    // Batch and match: candidate addresses passed over, with the reason.
    std::vector<SkippedAddress> skipped;

    // The changes to hand to `ChangeWatch`: empty for a dry run. A standard
    // camera's change is not among them.
    std::vector<PlannedChange> ToSend() const;
    // The standard cameras' plans to carry out: empty for a dry run.
    std::vector<const CameraPlan*> ToSendStandard() const;
    // The distinct temporary addresses of the cameras to send, in the
    // cameras' order: empty for a dry run.
    std::vector<TemporaryAddressPlan> TemporaryAddresses() const;
    std::size_t Planned() const;  // cameras with settings
    std::size_t Refused() const;  // cameras without
    // True when no camera is refused and no warning was given.
    bool Clean() const;
};

// What the planner knows of the site: the searched addresses of the PC, the
// whole device table (for taken addresses) and the host-number range of a
// match. `PlanFactsOf` (search/plan_facts.h) fills it.
struct SiteFacts {
    std::vector<LocalInterface> interfaces;
    std::vector<DeviceUpdate> devices;
    std::int32_t match_min = 0;
    std::int32_t match_max = 0;
    // The host number a match tries first: it walks on to `match_max`, then
    // round from `match_min`, so that a manager handing out one camera at a
    // time does not start over each time. Outside the range: `match_min`.
    std::int32_t match_next = 0;
};

// The plan for `request`. With `probe`, every address it hands out (or sets
// on one camera) is asked on the link first, all at once, and an answered
// one is refused (or skipped in a batch) unless `force`. An address a camera
// keeps takes nobody's: only what no host could hold refuses it. A batch's
// start is refused only for what no camera of its subnet could hold; the
// addresses others hold are skipped.
ChangePlan PlanChange(const ChangeRequest& request, const SiteFacts& facts,
                      const LinkProbe& probe = {});

// True for a camera only WS-Discovery heard that names an http or https
// device service address: its settings can be changed through that service.
bool HasDeviceService(const DeviceUpdate& device);

// The key a plan names a camera by: its MAC, else its WS-Discovery key.
std::string PlanKey(const DeviceUpdate& device);

// The canonical dotted-decimal form of an address text; none when it does
// not read as one. "010.077.000.005" -> "10.77.0.5".
std::optional<std::string> CanonicalAddress(std::string_view text);

}  // namespace quorvex
