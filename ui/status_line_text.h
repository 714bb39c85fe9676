#pragma once

// The window's status line in the language pack's words: how many cameras
// are shown and listed, outside their subnet, in conflict and not answering;
// how the changes sent from the window stand; and how the search goes,
// including every place a protocol cannot listen, every listed interface
// that is missing, answers lost for good and every refused answer.

#include <QString>

#include "search/search_status.h"

namespace quorvex {

class LanguageX;

struct StatusLineValues {
    int shown = 0;
    int total = 0;
    int outside = 0;
    int conflicts = 0;
    int silent = 0;
    // Every change sent since start, by where it stands now.
    int pending = 0;
    int confirmed = 0;
    int not_confirmed = 0;
    SearchStatus search;
};

// The changes' part is left out until a change has been sent.
QString StatusLineText(const LanguageX& language, const StatusLineValues& values);

}  // namespace quorvex
