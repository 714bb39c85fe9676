#include "ui/status_line_text.h"

#include <QStringList>

#include "ui/window_texts.h"

namespace quorvex {

namespace {

int ProtocolTextId(std::int32_t protocol) {
    return protocol == kProtocolText          ? IDS_PROTOCOL_TEXT
           : protocol == kProtocolWsDiscovery ? IDS_PROTOCOL_WSD
                                              : IDS_PROTOCOL_BINARY;
}

}  // namespace

QString StatusLineText(const LanguageX& language, const StatusLineValues& values) {
    auto text = [&language](int id) { return UiText(language, id); };
    QStringList parts;
    parts << text(IDS_STATUS_SHOWN).arg(values.shown).arg(values.total)
          << text(IDS_STATUS_OUTSIDE).arg(values.outside)
          << text(IDS_STATUS_CONFLICTS).arg(values.conflicts)
          << text(IDS_STATUS_SILENT).arg(values.silent);
    if (values.pending + values.confirmed + values.not_confirmed > 0) {
        parts << text(IDS_STATUS_CHANGES)
                     .arg(values.pending)
                     .arg(values.confirmed)
                     .arg(values.not_confirmed);
    }
    const SearchStatus& status = values.search;
    if (!status.interfaces_loaded) {
        parts << text(IDS_STATUS_STARTING);
    } else if (status.interface_count == 0) {
        parts << text(IDS_STATUS_NO_INTERFACE);
    } else {
        parts << text(IDS_STATUS_SEARCHING)
                     .arg(static_cast<qulonglong>(status.interface_count))
                     .arg(static_cast<qulonglong>(status.searches));
    }
    for (const SearchProblem& problem : ListProblems(status)) {
        const QString protocol = text(ProtocolTextId(problem.protocol));
        auto place = [&](const QString& state) {
            const QString where = QString::fromStdString(
                problem.interface_name.empty() ? AddressText(problem.interface_address)
                                               : problem.interface_name);
            return text(IDS_PROBLEM_LINE).arg(protocol, where, state);
        };
        switch (problem.code) {
            case ProblemCode::kPortInUse:
                parts << place(text(IDS_STATE_BIND_FAILED).arg(problem.port));
                break;
            case ProblemCode::kBindFailed:
                parts << place(text(IDS_STATE_BIND_OTHER).arg(problem.port));
                break;
            case ProblemCode::kSocketFailed:
                parts << place(text(IDS_STATE_SOCKET_FAILED));
                break;
            case ProblemCode::kJoinFailed:
                parts << place(text(IDS_STATE_JOIN_FAILED));
                break;
            case ProblemCode::kInterfaceGone:
                parts << place(text(IDS_STATE_GONE));
                break;
            case ProblemCode::kInterfaceMissing:
                parts << text(IDS_STATUS_INTERFACE_MISSING)
                             .arg(QString::fromStdString(problem.interface_name));
                break;
            case ProblemCode::kAnswersLost:
                parts << text(IDS_STATUS_ANSWERS_LOST)
                             .arg(static_cast<qulonglong>(problem.count))
                             .arg(static_cast<qulonglong>(problem.repeats));
                break;
            case ProblemCode::kFaults:
                parts << text(IDS_STATUS_FAULTS)
                             .arg(protocol)
                             .arg(static_cast<qulonglong>(problem.count));
                break;
            case ProblemCode::kRefusedDatagrams:
                parts << text(IDS_STATUS_REFUSED)
                             .arg(protocol)
                             .arg(static_cast<qulonglong>(problem.count));
                break;
        }
    }
    // Dropped answers that repeats brought back lose nothing; the count
    // still tells the user the PC is busy.
    if (status.drops > 0 && !status.answers_lost)
        parts << text(IDS_STATUS_DROPS).arg(static_cast<qulonglong>(status.drops));
    return parts.join(QStringLiteral("  ·  "));
}

}  // namespace quorvex
