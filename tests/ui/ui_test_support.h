#pragma once

// What the window tests share: a staged start-up directory with a
// "config.xml" and language packs of the tests' own, and lookups of controls
// by their resource id.

#include <QList>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace quorvex::testing {

// An interface name that no machine has: a window started with it chooses no
// interface and sends nothing.
inline constexpr char kNoInterface[] = "qvx-none0";

struct StageOptions {
    // "config.language"; empty leaves the element out.
    std::string language = "Alpha";
    // Display names in the language list; each has the file "<lower-case name>.xml".
    std::vector<std::string> languages = {"Alpha", "Beta"};
    // "config.interfaces".
    std::vector<std::string> interfaces = {kNoInterface};
    int search_interval = 30;
};

// A temporary start-up directory, made the program's start-up directory for
// its lifetime, and removed afterwards. It holds "config.xml" and the packs
// "Language/alpha.xml", "Language/beta.xml" and "Language/chinese.xml"; each
// of the first two names every text "<Name> <what>", e.g. "Alpha column 3".
class StagedApp {
public:
    explicit StagedApp(const StageOptions& options = {});
    ~StagedApp();
    StagedApp(const StagedApp&) = delete;
    StagedApp& operator=(const StagedApp&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path dir_;
};

// The text of a pack for `name` ("Alpha", ...), as StagedApp writes it.
std::string TestPack(const std::string& name);

// Runs the window thread's events until `condition` holds or `deadline`
// passes; returns the condition's last value.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

// The descendant of `root` with resource id `id` and type T; nullptr if none.
template <typename T>
T* FindControl(QWidget* root, int id) {
    for (T* widget : root->findChildren<T*>()) {
        if (ControlId(widget) == id) return widget;
    }
    return nullptr;
}

}  // namespace quorvex::testing
