#pragma once

// A one-line progress note on standard error ("searching: 2.4 s left, 3
// devices") that rewrites itself in place. It is shown only when standard
// error is a terminal, so scripts that capture the output never see it.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace quorvex {

class ProgressDisplay {
public:
    // Writes to `out` when `enabled`; otherwise every call does nothing.
    ProgressDisplay(std::FILE* out, bool enabled);
    // Enabled exactly when standard error is a terminal.
    static ProgressDisplay ForStandardError();
    ~ProgressDisplay();

    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;
    ProgressDisplay(ProgressDisplay&& other) noexcept;
    ProgressDisplay& operator=(ProgressDisplay&&) = delete;

    bool enabled() const { return enabled_; }

    // Replaces the line with "ACTIVITY: S.s s left, N devices".
    void Show(std::string_view activity, double seconds_left, std::size_t devices);
    // Replaces the line with a note of its own ("checking 10.77.1.10").
    void Note(std::string_view text);
    // Erases the line, so that the next message starts on a clean line.
    void Clear();

    // The text of one progress line, without the carriage return.
    static std::string Line(std::string_view activity, double seconds_left, std::size_t devices);

private:
    std::FILE* out_;
    bool enabled_;
    bool shown_ = false;
};

}  // namespace quorvex
