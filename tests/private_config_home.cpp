// Every test process, and every program it starts, looks the per-user
// config.xml up in a directory of its own: a developer's own
// ~/.config/quorvex/config.xml must neither steer a test nor be written by one
// (the window saves the language there), and two test processes running at
// once must not share one.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class PrivateConfigHome {
public:
    PrivateConfigHome() : owner_(::getpid()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvex-test-xdg-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~PrivateConfigHome() {
        // A forked child that ends normally must not take the parent's away.
        if (path_.empty() || ::getpid() != owner_) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateConfigHome(const PrivateConfigHome&) = delete;
    PrivateConfigHome& operator=(const PrivateConfigHome&) = delete;

private:
    pid_t owner_;
    std::filesystem::path path_;
};

const PrivateConfigHome kHome;

}  // namespace
