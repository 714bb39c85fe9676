#include "cli/plan_output.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/batch_change.h"
#include "core/utf8_text.h"
#include "search/text_encoding.h"

namespace quorvex {

namespace {

std::string Key(const CameraPlan& camera) {
    return PlanKey(camera.device);
}

std::string OwnAddress(const CameraPlan& camera) {
    const auto canonical = CanonicalAddress(GetText(camera.device.entry.info.ip));
    return canonical ? *canonical : std::string(GetText(camera.device.entry.info.ip));
}

std::string Describe(const DeviceInfo& i) {
    return "ip " + std::string(GetText(i.ip)) + ", mask " + std::string(GetText(i.mask)) +
           ", gateway " + std::string(GetText(i.gateway)) + ", dns1 " +
           std::string(GetText(i.dns1)) + ", dns2 " + std::string(GetText(i.dns2)) +
           ", http port " + std::to_string(i.http_port) + ", dhcp " + (i.dhcp ? "on" : "off");
}

// A refusal the user is told about as such; a camera a match finds inside
// its subnet is simply left alone.
bool Fails(const CameraPlan& camera) {
    return !camera.settings && camera.refusal.problem != PlanProblem::already_inside;
}

// The planned cameras; without `standard`, only those whose change goes as a
// datagram (the order of `plan.ToSend()`).
std::vector<const CameraPlan*> Sent(const ChangePlan& plan, bool standard = true) {
    std::vector<const CameraPlan*> sent;
    for (const CameraPlan& camera : plan.cameras)
        if (camera.settings && (standard || !camera.standard)) sent.push_back(&camera);
    return sent;
}

void WriteJson(const ChangePlan& plan, const std::vector<ChangeResult>& results,
               const std::vector<StandardChangeOutcome>& standard, std::ostream& out) {
    using Json = nlohmann::ordered_json;
    Json doc = {{"dry_run", plan.dry_run},   {"plan", Json::array()},
                {"skipped", Json::array()},  {"not_moved", Json::array()},
                {"warnings", Json::array()}, {"results", Json::array()}};
    for (const CameraPlan& camera : plan.cameras) {
        for (const PlanIssue& warning : camera.warnings)
            doc["warnings"].push_back({{"mac", Key(camera)}, {"warning", IssueText(warning)}});
        if (!camera.settings) {
            if (Fails(camera))
                doc["not_moved"].push_back(
                    {{"mac", Key(camera)}, {"reason", IssueText(camera.refusal)}});
            continue;
        }
        Json changes = Json::array();
        for (const ValueChange& change : camera.changes)
            changes.push_back({{"field", FieldText(change.field)},
                               {"from", ToValidUtf8(change.before)},
                               {"to", ToValidUtf8(change.after)}});
        Json entry = {{"mac", Key(camera)},
                      {"from", ToValidUtf8(OwnAddress(camera))},
                      {"to", std::string(GetText(camera.settings->ip))},
                      {"changes", changes}};
        if (camera.temporary) entry["temporary_address"] = TemporaryAddressText(*camera.temporary);
        doc["plan"].push_back(std::move(entry));
    }
    for (const SkippedAddress& skipped : plan.skipped)
        doc["skipped"].push_back(
            {{"address", AddressText(skipped.address)}, {"reason", VerdictText(skipped.why)}});
    const std::vector<const CameraPlan*> sent = Sent(plan, false);
    for (std::size_t i = 0; i < results.size() && i < sent.size(); ++i)
        doc["results"].push_back({{"mac", Key(*sent[i])}, {"result", ResultText(results[i])}});
    const std::vector<const CameraPlan*> standard_sent = plan.ToSendStandard();
    for (std::size_t i = 0; i < standard.size() && i < standard_sent.size(); ++i)
        doc["results"].push_back(
            {{"mac", Key(*standard_sent[i])},
             {"result", standard[i].confirmed
                            ? std::string("confirmed")
                            : "not confirmed: " + StandardOutcomeText(standard[i])}});
    out << doc.dump() << "\n";
}

}  // namespace

bool ShowPlan(const ChangePlan& plan, const ChangeOutput& how, std::ostream& out,
              std::ostream& err) {
    const std::string prefix = "quorvex-cli: " + std::string(how.command) + ": ";
    bool failed = false;
    std::size_t no_free = 0;
    for (const CameraPlan& camera : plan.cameras) {
        for (const PlanIssue& warning : camera.warnings)
            err << prefix << "warning: " << Key(camera) << ": " << IssueText(warning) << "\n";
        if (camera.refusal.problem == PlanProblem::already_inside) {
            if (!how.chosen_by_tool && !how.json)
                out << Key(camera) << ": already in the subnet of "
                    << AddressText(camera.device.entry.interface_address) << " ("
                    << TerminalText(GetText(camera.device.entry.info.ip)) << "), left alone\n";
            continue;
        }
        if (!camera.settings) {
            failed = true;
            if (camera.refusal.problem == PlanProblem::no_free_address) ++no_free;
            err << prefix << Key(camera) << " not changed: " << IssueText(camera.refusal) << "\n";
        }
    }
    if (no_free > 0)
        err << prefix << no_free << " device(s) not moved: no free address left" << how.no_free_note
            << "\n";
    if (how.json) return failed;
    for (const SkippedAddress& skipped : plan.skipped)
        out << "skip " << AddressText(skipped.address) << ": " << VerdictText(skipped.why) << "\n";
    for (const CameraPlan* camera : Sent(plan)) {
        const std::string ip(GetText(camera->settings->ip));
        out << Key(*camera) << "  " << TerminalText(OwnAddress(*camera));
        if (ip != OwnAddress(*camera)) out << " -> " << ip;
        out << (camera->changes.empty() ? "  (no value changes)\n" : "\n");
        for (const ValueChange& change : camera->changes)
            if (change.field != PlanField::ip)
                out << "    " << FieldText(change.field) << " " << TerminalText(change.before)
                    << " -> " << change.after << "\n";
        if (camera->temporary)
            out << "    through temporary address " << TemporaryAddressText(*camera->temporary)
                << "\n";
    }
    if (plan.dry_run) out << "dry run: " << plan.Planned() << " change(s) planned, nothing sent\n";
    out << std::flush;
    return failed;
}

bool ShowResults(const ChangePlan& plan, const std::vector<ChangeResult>& results,
                 const DeviceSearch& search, const ChangeOutput& how, std::ostream& out,
                 std::ostream& err, const std::vector<StandardChangeOutcome>& standard) {
    const std::vector<const CameraPlan*> sent = Sent(plan, false);
    bool failed = false;
    for (std::size_t i = 0; i < results.size() && i < sent.size(); ++i) {
        failed = failed || results[i] != ChangeResult::confirmed;
        if (how.json) continue;
        const std::string key = Key(*sent[i]);
        const std::string ip(GetText(sent[i]->settings->ip));
        const std::string prefix = "quorvex-cli: " + std::string(how.command) + ": " + key;
        if (how.command == "match") {
            if (results[i] == ChangeResult::confirmed)
                out << key << ": answers at " << ip << "\n";
            else
                err << prefix << " does not answer at " << ip << " (" << ResultText(results[i])
                    << ")\n";
        } else if (results[i] == ChangeResult::confirmed) {
            out << key << ": confirmed, the device answers with the new settings\n";
        } else if (results[i] == ChangeResult::answers_old) {
            const auto now = search.Find(key);
            err << prefix << " not confirmed: it answers with "
                << TerminalText(now ? Describe(now->info) : std::string()) << "\n";
        } else if (results[i] == ChangeResult::other_mac) {
            err << prefix << " not confirmed: it " << ResultText(results[i]) << " (" << ip << ")\n";
        } else {
            err << prefix << " not confirmed: it did not answer again (gone)\n";
        }
    }
    const std::vector<const CameraPlan*> standard_sent = plan.ToSendStandard();
    for (std::size_t i = 0; i < standard.size() && i < standard_sent.size(); ++i) {
        failed = failed || !standard[i].confirmed;
        if (how.json) continue;
        const std::string key = Key(*standard_sent[i]);
        if (standard[i].confirmed)
            out << key << ": answers at " << AddressText(standard[i].new_address) << "\n";
        else
            err << "quorvex-cli: " << how.command << ": " << key
                << " not confirmed: " << StandardOutcomeText(standard[i]) << "\n";
    }
    if (how.json) WriteJson(plan, results, standard, out);
    return failed;
}

bool TakeNamedDevices(const SiteFacts& facts, const std::vector<std::string>& keys,
                      std::string_view command, std::vector<DeviceUpdate>& devices,
                      std::ostream& err) {
    bool all_found = true;
    for (const std::string& key : keys) {
        bool found = false;
        for (const DeviceUpdate& device : facts.devices) {
            // A standard camera also answers to its endpoint reference.
            if (PlanKey(device) == key || (device.wsd && GetText(device.wsd->endpoint) == key)) {
                devices.push_back(device);
                found = true;
            }
        }
        if (!found) err << "quorvex-cli: " << command << ": device " << key << " not found\n";
        all_found = all_found && found;
    }
    return all_found;
}

}  // namespace quorvex
