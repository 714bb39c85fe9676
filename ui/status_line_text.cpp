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
    for (const SocketStatus& place : status.Problems()) {
        QString state;
        switch (place.state) {
            case ListenState::kSocketFailed:
                state = text(IDS_STATE_SOCKET_FAILED);
                break;
            case ListenState::kBindFailed:
                state = text(IDS_STATE_BIND_FAILED).arg(place.port);
                break;
            case ListenState::kJoinFailed:
                state = text(IDS_STATE_JOIN_FAILED);
                break;
            case ListenState::kInterfaceGone:
                state = text(IDS_STATE_GONE);
                break;
            case ListenState::kListening:
                break;
        }
        const QString where = QString::fromStdString(place.interface_name.empty()
                                                         ? AddressText(place.interface_address)
                                                         : place.interface_name);
        parts << text(IDS_PROBLEM_LINE).arg(text(ProtocolTextId(place.protocol)), where, state);
    }
    if (status.drops > 0)
        parts << text(IDS_STATUS_DROPS).arg(static_cast<qulonglong>(status.drops));
    for (const AnswerRejections& rejected : status.rejections) {
        const QString protocol = text(ProtocolTextId(rejected.protocol));
        if (rejected.faults > 0) {
            parts << text(IDS_STATUS_FAULTS)
                         .arg(protocol)
                         .arg(static_cast<qulonglong>(rejected.faults));
        }
        if (rejected.refused > 0) {
            parts << text(IDS_STATUS_REFUSED)
                         .arg(protocol)
                         .arg(static_cast<qulonglong>(rejected.refused));
        }
    }
    return parts.join(QStringLiteral("  ·  "));
}

}  // namespace quorvex
