#include "search/get_net_config.h"

namespace quorvex {

const char* AdapterChoiceText(AdapterChoice) {
    return "";
}

GetNetConfig::GetNetConfig(const AdapterSource& source, std::vector<std::string> interface_names)
    : source_(source), interface_names_(std::move(interface_names)) {}

int GetNetConfig::GetLocalInterfaces(LocalInterface*, int) const {
    return 0;
}

bool GetNetConfig::ReadInterfaceSettings(std::string_view, LocalInterface& record) const {
    record = {};
    return false;
}

AdapterChoice GetNetConfig::ChooseAutomatically(const Adapter&) {
    return AdapterChoice::kSkipped;
}

std::vector<AdapterReport> GetNetConfig::ReportAdapters() const {
    return {};
}

std::vector<Adapter> GetNetConfig::Chosen(const std::vector<Adapter>&) const {
    return {};
}

}  // namespace quorvex
