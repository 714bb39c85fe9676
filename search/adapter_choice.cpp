#include "search/adapter_choice.h"

namespace quorvex {

bool SearchAllowed(AdapterChoice choice, bool config_unreadable) {
    return choice != AdapterChoice::automatic || !config_unreadable;
}

}  // namespace quorvex
