#include "core/socket_status.h"

namespace quorvex {

const char* ListenStateText(ListenState state) {
    switch (state) {
        case ListenState::kListening:
            return "listening";
        case ListenState::kSocketFailed:
            return "no socket";
        case ListenState::kBindFailed:
            return "port in use";
        case ListenState::kJoinFailed:
            return "cannot join the multicast group";
        case ListenState::kInterfaceGone:
            return "interface gone";
    }
    return "";
}

}  // namespace quorvex
