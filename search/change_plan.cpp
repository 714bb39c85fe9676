// What a plan holds, asked by the front-ends and the senders: which changes
// go by datagram, which through a device service, and how many were refused.

#include <algorithm>

#include "search/change_planner.h"
#include "search/standard_change_steps.h"

namespace quorvex {

std::vector<PlannedChange> ChangePlan::ToSend() const {
    std::vector<PlannedChange> changes;
    if (dry_run) return changes;
    for (const CameraPlan& camera : cameras)
        if (camera.settings && !camera.standard)
            changes.push_back({camera.device.entry, *camera.settings});
    return changes;
}

std::vector<const CameraPlan*> ChangePlan::ToSendStandard() const {
    std::vector<const CameraPlan*> changes;
    if (dry_run) return changes;
    for (const CameraPlan& camera : cameras)
        if (camera.settings && camera.standard) changes.push_back(&camera);
    return changes;
}

std::vector<TemporaryAddressPlan> ChangePlan::TemporaryAddresses() const {
    std::vector<TemporaryAddressPlan> addresses;
    for (const CameraPlan* camera : ToSendStandard())
        if (camera->temporary &&
            std::find(addresses.begin(), addresses.end(), *camera->temporary) == addresses.end())
            addresses.push_back(*camera->temporary);
    return addresses;
}

bool HasDeviceService(const DeviceUpdate& device) {
    return device.entry.protocol == kProtocolWsDiscovery && device.wsd &&
           !OrderServiceUrls(GetText(device.wsd->xaddrs), device.wsd->source_address).empty();
}

std::string PlanKey(const DeviceUpdate& device) {
    return TableKeyText(TableKey(device));
}

std::size_t ChangePlan::Planned() const {
    return static_cast<std::size_t>(
        std::count_if(cameras.begin(), cameras.end(),
                      [](const CameraPlan& c) { return c.settings.has_value(); }));
}

std::size_t ChangePlan::Refused() const {
    return cameras.size() - Planned();
}

bool ChangePlan::Clean() const {
    return Refused() == 0 && std::all_of(cameras.begin(), cameras.end(),
                                         [](const CameraPlan& c) { return c.warnings.empty(); });
}

}  // namespace quorvex
