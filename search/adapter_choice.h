#pragma once

// Whether a search may run on the automatic adapter choice. config.xml may
// list the only adapters the user allows probes on; when the file exists but
// cannot be read, that list is unknown, and the automatic choice could send
// probes onto networks it excludes.

namespace quorvex {

enum class AdapterChoice {
    named,      // the user named the adapters for this search
    any,        // the user asked for the automatic choice whatever the file says
    automatic,  // config.xml's list, else the automatic choice
};

// False when `choice` is automatic while config.xml exists but cannot be read.
bool SearchAllowed(AdapterChoice choice, bool config_unreadable);

}  // namespace quorvex
