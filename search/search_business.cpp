#include "search/search_business.h"

namespace quorvex {

SearchBusiness::SearchBusiness() {}
SearchBusiness::SearchBusiness(ProtocolMap protocols) : protocols_(std::move(protocols)) {}
SearchBusiness::~SearchBusiness() {
    Stop();
}
void SearchBusiness::SetNotification(NotifyCallback callback, void* context, std::int32_t tag) {
    notify_ = callback;
    notify_context_ = context;
    notify_tag_ = tag;
}
void SearchBusiness::SetSearchInterval(std::int32_t seconds) {
    searchInterval.store(seconds);
}
void SearchBusiness::SetMatchRange(std::int32_t min, std::int32_t max) {
    matchMin = min;
    matchMax = max;
    nextOctet = min;
}
void SearchBusiness::SetInterfaceNames(std::vector<std::string> names) {
    interface_names_ = std::move(names);
}
void SearchBusiness::SetAdapterSource(std::shared_ptr<const AdapterSource> source) {
    adapter_source_ = std::move(source);
}
bool SearchBusiness::Start() {
    return false;
}
void SearchBusiness::Stop() {}
bool SearchBusiness::GetDevice(std::string_view, DeviceEntry&) const {
    return false;
}
bool SearchBusiness::SetDeviceRow(std::string_view, std::int32_t) {
    return false;
}
void SearchBusiness::ClearDevices() {}
void SearchBusiness::RequestRefresh() {}
void SearchBusiness::SendCommand(const DeviceEntry&, const NetSettings&, std::int32_t) {}
bool SearchBusiness::IsOutsideSubnet(const DeviceEntry&) const {
    return false;
}
bool SearchBusiness::MatchAddress(const DeviceEntry&) {
    return false;
}
std::optional<NetSettings> SearchBusiness::MatchAddress(const DeviceEntry&, const AddressTaken&) {
    return std::nullopt;
}
void SearchBusiness::OnDeviceFound(const DeviceEntry&) {}
std::vector<DeviceEntry> SearchBusiness::CopyDevices() const {
    return {};
}
std::size_t SearchBusiness::DeviceCount() const {
    return 0;
}
std::vector<LocalInterface> SearchBusiness::CopyInterfaces() const {
    return {};
}

}  // namespace quorvex
