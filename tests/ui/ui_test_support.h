#pragma once

#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace quorvex::testing {

// A temporary start-up directory, the program's for its lifetime: its
// config.xml picks "Alpha" of the languages Alpha and Beta and names
// `interfaces`; each pack names every text "<Name> <what>", e.g.
// "Alpha column 3", "Beta item 0", "Alpha outside" (string 1). Alpha is an
// older pack without the window's newer texts (menu items 5 to 7, strings
// from 100), which Beta names "Beta item 5", "Beta s121 %1 %2 %3".
class StagedApp {
public:
    explicit StagedApp(const std::vector<std::string>& interfaces = {"qvx-none0"});
    ~StagedApp() { std::filesystem::remove_all(dir_); }
    StagedApp(const StagedApp&) = delete;
    StagedApp& operator=(const StagedApp&) = delete;
    std::string ReadConfig() const;

private:
    std::filesystem::path dir_;
};

template <typename T>
T* FindControl(QWidget* root, int id) {
    for (T* widget : root->findChildren<T*>()) {
        if (ControlId(widget) == id) return widget;
    }
    return nullptr;
}

}  // namespace quorvex::testing
