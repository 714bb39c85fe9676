#include "cli/progress_display.h"

#include <unistd.h>

#include <algorithm>

namespace quorvex {

ProgressDisplay::ProgressDisplay(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

ProgressDisplay ProgressDisplay::ForStandardError() {
    return ProgressDisplay(stderr, isatty(STDERR_FILENO) == 1);
}

ProgressDisplay::ProgressDisplay(ProgressDisplay&& other) noexcept
    : out_(other.out_), enabled_(other.enabled_), shown_(other.shown_) {
    other.enabled_ = false;
    other.shown_ = false;
}

ProgressDisplay::~ProgressDisplay() {
    Clear();
}

std::string ProgressDisplay::Line(std::string_view activity, double seconds_left,
                                  std::size_t devices) {
    char left[32];
    std::snprintf(left, sizeof left, "%.1f", std::max(0.0, seconds_left));
    return std::string(activity) + ": " + left + " s left, " + std::to_string(devices) +
           (devices == 1 ? " device" : " devices");
}

void ProgressDisplay::Show(std::string_view activity, double seconds_left, std::size_t devices) {
    Note(Line(activity, seconds_left, devices));
}

void ProgressDisplay::Note(std::string_view text) {
    if (!enabled_) return;
    // Carriage return and erase-to-end-of-line keep the note on one line.
    const std::string line = "\r" + std::string(text) + "\x1b[K";
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    shown_ = true;
}

void ProgressDisplay::Clear() {
    if (!enabled_ || !shown_) return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    shown_ = false;
}

}  // namespace quorvex
